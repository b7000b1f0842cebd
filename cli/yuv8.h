// 8-bit limited-range YUV to the editor's YC scale and back (Y 16..235 maps
// to 0..4096, Cb/Cr 16..240 to -2048..2048).
#pragma once

#include <cstdint>

#include "platform/aviutl.h"

inline std::int16_t luma_from8(int y8) { return static_cast<std::int16_t>(((y8 * 1197) >> 6) - 299); }
inline std::int16_t chroma_from8(int c8) {
    return static_cast<std::int16_t>(((c8 - 128) * 4681 + 164) >> 8);
}

inline std::uint8_t clamp8(int v) { return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }
inline std::uint8_t luma_to8(int y) { return clamp8(((y * 219 + 383) >> 12) + 16); }
inline std::uint8_t chroma_to8(int c) { return clamp8((((c + 2048) * 7 + 66) >> 7) + 16); }
