// The buffer store: twenty numbered slots and the dynamic buffers.
//
// Slot 0 is the host's ycp_edit (the output), slot 1 its ycp_temp; slots 2..19
// live in one zero-filled block made on the first frame and keep their
// contents across frames and script reloads.  Dynamic buffers, numbered from
// 10000 by createbuf, live in an ordered map and are released at each reload.
// Every buffer is max_w x max_h pixels.
#pragma once

#include "platform/aviutl.h"

constexpr int kSlotCount = 20;
constexpr int kFirstDynamicBuffer = 10000;

// Points slots 0 and 1 at the host's buffers, making the slot block on the
// first frame.  False when the slot block cannot be allocated; the next
// frame tries again.
bool setup_slots(const FILTER_PROC_INFO* fpip);

// The pixels of buffer n, or null when n names no buffer.
PIXEL_YC* get_buffer(int n);

// Re-points slots 0 and 1 after the host's buffers were exchanged.
void set_host_slots(PIXEL_YC* edit, PIXEL_YC* temp);

// Outcome of create_dynamic_buffer.
enum class CreateResult { ok, number_in_use, no_memory };

// Makes a zero-filled buffer of `pixels` pixels under the next free number
// (10000, or one above the highest in use), stored in *number.
CreateResult create_dynamic_buffer(std::size_t pixels, int* number);

// Frees dynamic buffer n; numbers that name no dynamic buffer are ignored.
void release_dynamic_buffer(int n);

// Frees every dynamic buffer.
void release_all_dynamic();

// Frees the slot block and the slot table.
void free_slots();

// Caps the bytes all dynamic buffers may hold together (0: no cap); a
// buffer that would pass it is not made (CreateResult::no_memory).
void set_dynamic_buffer_limit(std::size_t bytes);

// Number of dynamic buffers in use.
int dynamic_buffer_count();
