// mist::bounded_list: a growable list with the toolkit's 32-bit size limit.
//
// The toolkit's internal lists (structuring-element offsets, label tables)
// may hold at most (2^32 - 1) / sizeof(T) entries, the same limit as its
// arrays.  Growing past it throws std::length_error("vector<T> too long")
// before any memory is asked for, so an absurd request fails at once instead
// of exhausting the machine.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <vector>

namespace mist {

template <class T>
class bounded_list {
public:
    static constexpr std::size_t max_size = 0xFFFFFFFFull / sizeof(T);

    static void check(std::size_t count) {
        if (count > max_size) throw std::length_error("vector<T> too long");
    }

    void reserve(std::size_t count) {
        check(count);
        items_.reserve(count);
    }
    void assign(std::size_t count, const T& v) {
        check(count);
        items_.assign(count, v);
    }
    void push_back(const T& v) {
        check(items_.size() + 1);
        items_.push_back(v);
    }

    std::size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    T& operator[](std::size_t i) { return items_[i]; }
    const T& operator[](std::size_t i) const { return items_[i]; }
    const T* data() const { return items_.data(); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<T> items_;
};

}  // namespace mist
