#include "buffers/store.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <new>

namespace {

PIXEL_YC** slots = nullptr;      // the slot table, 20 entries
PIXEL_YC* slot_block = nullptr;  // backing memory of slots 2..19
struct DynamicBuffer {
    PIXEL_YC* pixels;
    std::size_t bytes;
};
std::map<int, DynamicBuffer> dynamic_buffers;
std::size_t dynamic_bytes = 0;  // sum of the bytes of dynamic_buffers
std::size_t dynamic_limit = 0;  // 0: no limit

}  // namespace

bool setup_slots(const FILTER_PROC_INFO* fpip) {
    if (slots == nullptr) {
        slots = static_cast<PIXEL_YC**>(std::calloc(kSlotCount, sizeof(PIXEL_YC*)));
        if (slots == nullptr) return false;
        const std::size_t frame =
            static_cast<std::size_t>(fpip->max_w) * static_cast<std::size_t>(fpip->max_h);
        slot_block =
            static_cast<PIXEL_YC*>(std::calloc((kSlotCount - 2) * frame, sizeof(PIXEL_YC)));
        if (slot_block == nullptr) {
            std::free(slots);
            slots = nullptr;
            return false;
        }
        for (int k = 2; k < kSlotCount; ++k) slots[k] = slot_block + (k - 2) * frame;
    }
    set_host_slots(fpip->ycp_edit, fpip->ycp_temp);
    return true;
}

void set_host_slots(PIXEL_YC* edit, PIXEL_YC* temp) {
    if (slots == nullptr) return;
    slots[0] = edit;
    slots[1] = temp;
}

PIXEL_YC* get_buffer(int n) {
    // Unsigned comparison: negative numbers are never slots.
    if (static_cast<unsigned>(n) < static_cast<unsigned>(kSlotCount))
        return slots ? slots[n] : nullptr;
    const auto it = dynamic_buffers.find(n);
    return it == dynamic_buffers.end() ? nullptr : it->second.pixels;
}

CreateResult create_dynamic_buffer(std::size_t pixels, int* number) {
    int n = kFirstDynamicBuffer;
    if (!dynamic_buffers.empty()) {
        const int highest = dynamic_buffers.rbegin()->first;
        // One above the highest; past the int range there is no free number.
        if (highest == 0x7fffffff) return CreateResult::number_in_use;
        n = highest + 1;
    }
    if (dynamic_buffers.count(n) != 0) return CreateResult::number_in_use;
    // calloc of a huge block succeeds lazily on Linux and fails only when the
    // pages are touched, so the limit is kept here, before any allocation.
    if (pixels > SIZE_MAX / sizeof(PIXEL_YC)) return CreateResult::no_memory;
    const std::size_t bytes = pixels * sizeof(PIXEL_YC);
    if (dynamic_limit != 0 && bytes > dynamic_limit - std::min(dynamic_bytes, dynamic_limit))
        return CreateResult::no_memory;
    auto* memory = static_cast<PIXEL_YC*>(std::calloc(pixels, sizeof(PIXEL_YC)));
    if (memory == nullptr) return CreateResult::no_memory;
    try {
        dynamic_buffers.emplace(n, DynamicBuffer{memory, bytes});
    } catch (const std::bad_alloc&) {
        std::free(memory);
        return CreateResult::no_memory;
    }
    dynamic_bytes += bytes;
    *number = n;
    return CreateResult::ok;
}

void release_dynamic_buffer(int n) {
    const auto it = dynamic_buffers.find(n);
    if (it == dynamic_buffers.end()) return;
    std::free(it->second.pixels);
    dynamic_bytes -= it->second.bytes;
    dynamic_buffers.erase(it);
}

void release_all_dynamic() {
    for (auto& entry : dynamic_buffers) std::free(entry.second.pixels);
    dynamic_buffers.clear();
    dynamic_bytes = 0;
}

void free_slots() {
    std::free(slot_block);
    slot_block = nullptr;
    std::free(slots);
    slots = nullptr;
}

void set_dynamic_buffer_limit(std::size_t bytes) { dynamic_limit = bytes; }

int dynamic_buffer_count() { return static_cast<int>(dynamic_buffers.size()); }
