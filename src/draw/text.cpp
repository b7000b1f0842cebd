// font / text: settings and blending; the glyphs come from the platform's
// rasteriser.
#include "draw/text.h"

#include <algorithm>
#include <cstring>

#include "buffers/rows.h"
#include "platform/glyph_raster.h"

namespace {

// The face used while `font` has never been called.
const char* const kDefaultFace = "ＭＳ ゴシック";
constexpr int kDefaultHeight = 32;

}  // namespace

FontState& font_state() {
    static FontState state;
    return state;
}

void set_font(FontState& font, const FontArgs& args) {
    std::string_view face(args.face, args.face_length);
    font.face.assign(face.substr(0, std::min(face.size(), kMaxFaceBytes)));
    font.height = std::max(args.height, 1);
    font.bold = args.bold;
    font.italic = args.italic;
    font.underline = args.underline;
    if (args.has_edge) font.edge_width = args.edge_width;
    std::copy(args.text_color, args.text_color + 3, font.text_color);
    if (args.has_edge) std::copy(args.edge_color, args.edge_color + 3, font.edge_color);
}

void draw_text(const Frame& frame, FontState& font, int x, int y, int align,
               std::string_view text) {
    if (static_cast<unsigned>(align) > 2) return;
    platform::TextStyle style;
    if (font.height == 0) {
        font.text_color[0] = 4096;
        font.edge_width = 0;
        style.face = kDefaultFace;
        style.height = kDefaultHeight;
    } else {
        style.face = font.face;
        style.height = font.height;
        style.bold = font.bold != 0;
        style.italic = font.italic != 0;
        style.underline = font.underline != 0;
        style.edge_width = font.edge_width;
    }
    static platform::TextCoverage coverage;  // kept to reuse its memory
    platform::rasterise_text(style, text, x, y, static_cast<platform::TextAnchor>(align),
                             frame.max_w, frame.max_h, coverage);
    if (coverage.w <= 0 || coverage.h <= 0) return;

    const int t[3] = {font.text_color[0], font.text_color[1], font.text_color[2]};
    const int e[3] = {font.edge_color[0], font.edge_color[1], font.edge_color[2]};
    parallel_rows(coverage.h, [&](int i) {
        PIXEL_YC* row = frame.row(coverage.y + i) + coverage.x;
        const std::uint8_t* b = coverage.glyph.data() + static_cast<std::size_t>(i) * coverage.w;
        const std::uint8_t* g = coverage.edge.data() + static_cast<std::size_t>(i) * coverage.w;
        for (int j = 0; j < coverage.w;) {
            // Much of the box lies between the strokes: step over it 8 at a time.
            if (j + 8 <= coverage.w) {
                std::uint64_t bb, gg;
                std::memcpy(&bb, b + j, 8);
                std::memcpy(&gg, g + j, 8);
                if ((bb | gg) == 0) {
                    j += 8;
                    continue;
                }
            }
            PIXEL_YC& p = row[j];
            if (b[j] != 0) {
                p.y = blend_coverage(p.y, t[0], b[j]);
                p.cb = blend_coverage(p.cb, t[1], b[j]);
                p.cr = blend_coverage(p.cr, t[2], b[j]);
            }
            if (g[j] != 0) {
                p.y = blend_coverage(p.y, e[0], g[j]);
                p.cb = blend_coverage(p.cb, e[1], g[j]);
                p.cr = blend_coverage(p.cr, e[2], g[j]);
            }
            ++j;
        }
    });
}
