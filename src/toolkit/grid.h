// toolkit::grid: the toolkit's owned, zero-filled two-dimensional array (an
// image, a kernel, a table of cells).
//
// It owns one block of elements, freed on destruction and on every
// reallocation.  The element count is limited to what a 32-bit byte size can
// hold, (2^32 - 1) / sizeof(T): a larger request, like a count of 0, leaves
// the array empty (and makes resize return false) instead of throwing.  An
// allocation within the limit that the machine cannot satisfy throws
// std::bad_alloc, which the toolkit does not catch.
//
// A grid stores rows one after another: element (x, y) is at y * width + x.
// The pitches scale distances in radius-based kernels; they are 1.0 unless a
// caller sets them, and routines that make one array from another copy them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

namespace toolkit {

namespace detail {

// Elements are trivially copyable plain values, so a block is raw memory
// from calloc: zero-filled, and fresh pages cost nothing until touched.
template <class T>
class block {
    static_assert(std::is_trivially_copyable_v<T>, "toolkit arrays hold plain values");

public:
    // The largest element count whose byte size fits in 32 bits.
    static constexpr std::size_t kMaxCount = 0xFFFFFFFFull / sizeof(T);

    block() = default;
    block(const block&) = delete;
    block& operator=(const block&) = delete;
    ~block() { release(); }

    // Replaces the block by `count` zeroed elements; false (and empty) when
    // the count is 0 or above kMaxCount.  Throws std::bad_alloc when memory
    // runs out.
    bool allocate(std::size_t count) {
        release();
        if (count == 0 || count > kMaxCount) return false;
        void* p = std::calloc(count, sizeof(T));
        if (p == nullptr) throw std::bad_alloc();
        data_ = static_cast<T*>(p);
        count_ = count;
        return true;
    }

    void release() {
        std::free(data_);
        data_ = nullptr;
        count_ = 0;
    }

    void swap(block& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(count_, other.count_);
    }

    T* data() const { return data_; }
    std::size_t count() const { return count_; }

private:
    T* data_ = nullptr;
    std::size_t count_ = 0;
};

}  // namespace detail

template <class T>
class grid {
public:
    using value_type = T;
    using size_type = std::size_t;
    static constexpr size_type kMaxCount = detail::block<T>::kMaxCount;

    grid() = default;
    grid(size_type width, size_type height) { resize(width, height); }
    grid(const grid& other) { *this = other; }
    grid(grid&& other) noexcept { swap(other); }
    grid& operator=(const grid& other) {
        if (this != &other) {
            resize(other.width(), other.height());
            if (size() != 0) std::memcpy(data(), other.data(), size() * sizeof(T));
            pitch_x = other.pitch_x;
            pitch_y = other.pitch_y;
        }
        return *this;
    }
    grid& operator=(grid&& other) noexcept {
        swap(other);
        return *this;
    }

    // The count width x height, or 0 when it is not representable (a side
    // above 32 bits or a product above kMaxCount, computed without overflow).
    static size_type checked_count(size_type width, size_type height) {
        if (width == 0 || height == 0) return 0;
        // (A 32-bit size_type cannot hold more than 32 bits.)
        if constexpr (sizeof(size_type) > 4)
            if (width > 0xFFFFFFFFull || height > 0xFFFFFFFFull) return kMaxCount + 1;
        if (width > kMaxCount / height) return kMaxCount + 1;
        return width * height;
    }

    // A new element count frees the old block and makes a zero-filled one
    // (old contents are lost, also when shrinking); the same count keeps the
    // contents and only changes the shape.  False, leaving the array empty
    // (0 x 0), when the count is 0 or above kMaxCount.
    bool resize(size_type width, size_type height) {
        const size_type count = checked_count(width, height);
        if (count == 0 || count > kMaxCount) {
            clear();
            return false;
        }
        if (count != size() && !block_.allocate(count)) {
            clear();
            return false;
        }
        width_ = width;
        height_ = height;
        return true;
    }

    void clear() {
        block_.release();
        width_ = height_ = 0;
    }
    void fill(const T& v) {
        for (size_type i = 0; i < size(); ++i) block_.data()[i] = v;
    }
    void swap(grid& other) noexcept {
        block_.swap(other.block_);
        std::swap(width_, other.width_);
        std::swap(height_, other.height_);
        std::swap(pitch_x, other.pitch_x);
        std::swap(pitch_y, other.pitch_y);
    }

    size_type width() const { return width_; }
    size_type height() const { return height_; }
    size_type size() const { return block_.count(); }
    bool empty() const { return size() == 0; }
    T* data() { return block_.data(); }
    const T* data() const { return block_.data(); }
    T* row(size_type y) { return block_.data() + y * width_; }
    const T* row(size_type y) const { return block_.data() + y * width_; }
    T* begin() { return data(); }
    T* end() { return data() + size(); }
    const T* begin() const { return data(); }
    const T* end() const { return data() + size(); }
    T& operator[](size_type i) { return block_.data()[i]; }
    const T& operator[](size_type i) const { return block_.data()[i]; }
    T& operator()(size_type x, size_type y) { return block_.data()[y * width_ + x]; }
    const T& operator()(size_type x, size_type y) const { return block_.data()[y * width_ + x]; }

    double pitch_x = 1.0;
    double pitch_y = 1.0;

private:
    detail::block<T> block_;
    size_type width_ = 0;
    size_type height_ = 0;
};

}  // namespace toolkit
