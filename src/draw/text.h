// Text drawing: the font settings and the blending of rasterised text into a
// frame buffer.
//
// The settings last across calls, frames and script reloads.  Until `font`
// is first called (height 0) text is drawn in "ＭＳ ゴシック" at height 32 in
// Y 4096 without an outline.
//
// Drawing blends, at every pixel of the text's box, with b the glyph and g
// the edge coverage of platform/glyph_raster.h (0..255):
//   if b != 0:  k = (k * (255 - b) + T.k * b) >> 8   (T the text colour)
//   if g != 0:  k = (k * (255 - g) + E.k * g) >> 8   (E the edge colour)
// for each component k, keeping the low 16 bits.  So full coverage of
// Y 4096 gives 4080.  Pixels outside the box keep their values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "buffers/frame.h"

struct FontState {
    std::string face;  // at most kMaxFaceBytes bytes
    int height = 0;    // at least 1 once set; 0 = `font` never called
    int bold = 0;
    int italic = 0;
    int underline = 0;
    int edge_width = 0;
    int text_color[3] = {0, 0, 0};  // Y, Cb, Cr
    int edge_color[3] = {0, 0, 0};
};

constexpr std::size_t kMaxFaceBytes = 4095;

// The module's one set of font settings.
FontState& font_state();

// The arguments of one `font` call.  The edge width and colour are taken
// only when `has_edge` is set; otherwise they keep their values.
struct FontArgs {
    const char* face = "";
    std::size_t face_length = 0;
    int height = 0, bold = 0, italic = 0, underline = 0;
    bool has_edge = false;
    int edge_width = 0;
    int text_color[3] = {0, 0, 0};
    int edge_color[3] = {0, 0, 0};
};

// Stores a `font` call's settings: the face cut to kMaxFaceBytes, a height
// below 1 raised to 1.
void set_font(FontState& font, const FontArgs& args);

// Draws `text` with the settings (applying the defaults first when `font`
// was never called).  align 0, 1, 2 makes x the right end, the centre or the
// left end of each line; y is the top of the first line.
void draw_text(const Frame& frame, FontState& font, int x, int y, int align, std::string_view text);

// The blend of one component by coverage c (0..255) toward colour t.
inline std::int16_t blend_coverage(std::int16_t k, int t, int c) {
    // Only the low 16 bits of the (possibly much wider) result are kept,
    // so wrapping 32-bit arithmetic gives them exactly.
    const std::uint32_t v = static_cast<std::uint32_t>(k) * static_cast<std::uint32_t>(255 - c) +
                            static_cast<std::uint32_t>(t) * static_cast<std::uint32_t>(c);
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(v >> 8));
}
