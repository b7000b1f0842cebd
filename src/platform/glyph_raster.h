// The glyph rasteriser behind `text`: it lays a string out in a typeface and
// gives two coverage masks over the frame grid, the ones `text` blends:
//
//   glyph  coverage of the glyphs, 0..255
//   edge   coverage of the outline (the glyph shapes grown by a round pen
//          of width edge_width, underline included) minus the glyphs drawn
//          on top of it: edge = outline * (255 - glyph') / 255 and
//          glyph = glyph' + edge, glyph' being the glyphs' own coverage.
//
// That is what painting the outline white and then anti-aliased pure blue
// text over it leaves in the blue and green channels of a black bitmap.
//
// This is the one place that knows how glyphs are drawn: the build here uses
// FreeType and fontconfig (glyph_raster_freetype.cpp with the font_faces,
// polyline_flattening, pen_stroke, coverage_raster and text_encoding files);
// a Windows build implements the same function with GDI in one file.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace platform {

struct TextStyle {
    std::string_view face;  // typeface name as the script's bytes (UTF-8 or code page 932)
    int height = 32;        // character cell, ascent plus descent, in pixels (at least 1)
    bool bold = false;      // weight 700 instead of 400
    bool italic = false;
    bool underline = false;
    int edge_width = 0;  // width of the outline pen in pixels; 0 = no outline
};

// Where x lies on each line: its right end, its centre or its left end.
enum TextAnchor { kAnchorRight = 0, kAnchorCentre = 1, kAnchorLeft = 2 };

// The masks over a box of the grid; outside the box both are 0.  The box is
// empty (w or h 0) when nothing is drawn.
struct TextCoverage {
    int x = 0, y = 0, w = 0, h = 0;
    std::vector<std::uint8_t> glyph;  // w * h, row after row
    std::vector<std::uint8_t> edge;   // w * h
};

// Lays out `text` (bytes, up to the first NUL; CR, LF and CR LF start a new
// line one cell lower) with the top of the first line at y and each line
// placed by `anchor` at x, and rasterises it onto a grid_w x grid_h grid.
// Faces the machine lacks fall back to an installed one; text that decodes
// badly draws what it can.  Work and memory are bounded by the grid.
void rasterise_text(const TextStyle& style, std::string_view text, int x, int y, TextAnchor anchor,
                    int grid_w, int grid_h, TextCoverage& out);

// Drops the glyph images and typefaces kept between calls; they are built
// again when next needed.
void release_glyph_cache();

}  // namespace platform
