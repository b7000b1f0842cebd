// The pixel copies of cvcanny, a row at a time (vectorised across pixels,
// compiled once per instruction set, the best one the processor has chosen
// at run time).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/aviutl.h"

// out[i] = in[i].y * 0.0625 limited to 0..255 and truncated.  For an
// integer y that is y limited to 0..4095, shifted right by 4.
void y_to_bytes(const PIXEL_YC* in, std::uint8_t* out, std::size_t n);

// out[i] = {in[i] * 16, 0, 0}: an edge image as a mask.
void bytes_to_mask(const std::uint8_t* in, PIXEL_YC* out, std::size_t n);
