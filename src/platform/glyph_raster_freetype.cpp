// rasterise_text with FreeType outlines: each glyph's outline is flattened
// and filled by CoverageRaster, its outline pen drawn by stroke_polylines,
// into a small image of its own; the images of glyphs that are not huge are
// kept between calls (glyphs sit on whole pixels, so an image fits every
// position), and all are combined over the text's box alone.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_OUTLINE_H

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "platform/coverage_raster.h"
#include "platform/font_faces.h"
#include "platform/glyph_raster.h"
#include "platform/pen_stroke.h"
#include "platform/polyline_flattening.h"
#include "platform/text_encoding.h"

namespace platform {

namespace {

constexpr double kTolerance = 0.1;                // pixels between a curve and its chords
constexpr double kSlant = 0.2126;                 // synthetic italic: 12 degrees of shear
constexpr std::int64_t kCacheableArea = 1 << 18;  // larger glyph images are not kept
constexpr std::size_t kCacheBytes = 32u << 20;
constexpr std::int64_t kFar = std::int64_t{1} << 60;

// x / 255 rounded to nearest, for x in 0..255 * 255.
inline int div255(int x) { return (x + 128 + ((x + 128) >> 8)) >> 8; }

struct Rect {
    std::int64_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool empty() const { return x1 <= x0 || y1 <= y0; }
    // Holds at most `limit` pixels (without overflowing on huge sides).
    bool fits(std::int64_t limit) const {
        return empty() || (x1 - x0 <= limit && y1 - y0 <= limit && (x1 - x0) * (y1 - y0) <= limit);
    }
    Rect shifted(std::int64_t dx, std::int64_t dy) const {
        return {x0 + dx, y0 + dy, x1 + dx, y1 + dy};
    }
    Rect intersect(const Rect& o) const {
        return {std::max(x0, o.x0), std::max(y0, o.y0), std::min(x1, o.x1), std::min(y1, o.y1)};
    }
    void include(const Rect& o) {
        if (o.empty()) return;
        if (empty()) {
            *this = o;
            return;
        }
        x0 = std::min(x0, o.x0), y0 = std::min(y0, o.y0);
        x1 = std::max(x1, o.x1), y1 = std::max(y1, o.y1);
    }
};

std::int64_t clamp_far(double v) {
    if (!(v > -static_cast<double>(kFar))) return -kFar;
    if (!(v < static_cast<double>(kFar))) return kFar;
    return static_cast<std::int64_t>(v);
}

// Pixel rectangle holding the outline box (font units) of a glyph drawn by
// `scale` and `shear` with its origin at (0, 0), grown by `margin` pixels.
Rect pixel_rect(double x_min, double y_min, double x_max, double y_max, double scale, double shear,
                double margin) {
    const double left = scale * (x_min + std::min(shear * y_min, shear * y_max));
    const double right = scale * (x_max + std::max(shear * y_min, shear * y_max));
    return {clamp_far(std::floor(left - margin)), clamp_far(std::floor(-scale * y_max - margin)),
            clamp_far(std::ceil(right + margin)), clamp_far(std::ceil(-scale * y_min + margin))};
}

// How the glyphs of one face are drawn at one size.
struct GlyphTransform {
    double scale = 1;     // pixels per font unit
    double shear = 0;     // synthetic slant
    FT_Pos embolden = 0;  // synthetic weight, font units
};

GlyphTransform transform_for(const GlyphSource& src, int height) {
    GlyphTransform t;
    t.scale = height / src.face->cell_units;
    t.shear = src.slant ? kSlant : 0;
    if (src.embolden) t.embolden = std::max<FT_Pos>(1, src.face->face->units_per_EM / 24);
    return t;
}

// Pixels that any glyph of the face may cover, pen included, relative to
// the glyph's origin (from the face's overall bounding box).
Rect glyph_reach(const GlyphSource& src, int height, double radius) {
    const GlyphTransform t = transform_for(src, height);
    const FT_BBox& b = src.face->face->bbox;
    const double grow = static_cast<double>(t.embolden);
    return pixel_rect(b.xMin - grow, b.yMin - grow, b.xMax + grow, b.yMax + grow, t.scale, t.shear,
                      radius + 2);
}

struct GlyphKey {
    const FontFace* face;
    FT_UInt index;
    bool embolden, slant;
    int height, edge;
    bool operator==(const GlyphKey& o) const {
        return face == o.face && index == o.index && embolden == o.embolden && slant == o.slant &&
               height == o.height && edge == o.edge;
    }
};

struct GlyphKeyHash {
    std::size_t operator()(const GlyphKey& k) const {
        std::size_t h = std::hash<const void*>()(k.face);
        for (std::size_t v : {std::size_t{k.index}, std::size_t{k.embolden} * 2 + k.slant,
                              static_cast<std::size_t>(k.height), static_cast<std::size_t>(k.edge)})
            h = h * 1000003u ^ v;
        return h;
    }
};

// A glyph's coverage, placed relative to its origin on the baseline.
struct GlyphImage {
    Rect rect;
    std::vector<std::uint8_t> fill;   // the glyph itself
    std::vector<std::uint8_t> grown;  // the glyph grown by the pen (empty without one)
};

struct PlacedGlyph {
    GlyphSource source;
    std::int64_t x = 0, y = 0;  // origin on the baseline, grid pixels
};

struct Underline {
    Rect rect;  // grid pixels
};

struct Work {
    PolylineSet polylines;
    CoverageRaster fill, pen;
    GlyphImage scratch;
    std::vector<PlacedGlyph> glyphs;
    std::vector<Underline> underlines;
    std::unordered_map<GlyphKey, GlyphImage, GlyphKeyHash> cache;
    std::size_t cache_bytes = 0;
    std::uint64_t generation = 0;
};

Work& work() {
    static Work w;
    return w;
}

// FreeType's outline walk, mapping font units to the pixels of an image.
struct OutlineMap {
    PolylineSet* set;
    double scale, shear, dx, dy;
    Point operator()(const FT_Vector* v) const {
        const double u = static_cast<double>(v->x), h = static_cast<double>(v->y);
        return {scale * (u + shear * h) + dx, -scale * h + dy};
    }
};

int walk_move(const FT_Vector* to, void* user) {
    auto* m = static_cast<OutlineMap*>(user);
    m->set->move_to((*m)(to));
    return 0;
}
int walk_line(const FT_Vector* to, void* user) {
    auto* m = static_cast<OutlineMap*>(user);
    m->set->line_to((*m)(to));
    return 0;
}
int walk_conic(const FT_Vector* control, const FT_Vector* to, void* user) {
    auto* m = static_cast<OutlineMap*>(user);
    m->set->quad_to((*m)(control), (*m)(to));
    return 0;
}
int walk_cubic(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
    auto* m = static_cast<OutlineMap*>(user);
    m->set->cubic_to((*m)(c1), (*m)(c2), (*m)(to));
    return 0;
}

const FT_Outline_Funcs kWalk = {walk_move, walk_line, walk_conic, walk_cubic, 0, 0};

// The outline of a glyph in font units, synthetic weight applied; null when
// the glyph has none.  Valid until the face loads another glyph.
FT_Outline* load_outline(const GlyphSource& src, const GlyphTransform& t) {
    const FT_Face face = src.face->face;
    if (FT_Load_Glyph(face, src.index, FT_LOAD_NO_SCALE | FT_LOAD_NO_BITMAP) != 0) return nullptr;
    if (face->glyph->format != FT_GLYPH_FORMAT_OUTLINE || face->glyph->outline.n_points == 0)
        return nullptr;
    FT_Outline* outline = &face->glyph->outline;
    if (t.embolden != 0) FT_Outline_EmboldenXY(outline, t.embolden, t.embolden);
    return outline;
}

// Fills and strokes the polylines of work.polylines (in the pixels of
// `rect`) into an image of `rect`.
void render_polylines(Work& w, double radius, const Rect& rect, GlyphImage& image) {
    const int width = static_cast<int>(rect.x1 - rect.x0);
    const int height = static_cast<int>(rect.y1 - rect.y0);
    const std::size_t size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    image.rect = rect;
    image.fill.resize(size);
    w.fill.reset(width, height);
    fill_polylines(w.polylines, w.fill, 1.0f);
    for (int y = 0; y < height; ++y)
        w.fill.resolve_row(y, image.fill.data() + std::size_t(y) * width);
    if (radius <= 0) {
        image.grown.clear();
        return;
    }
    image.grown.resize(size);
    w.pen.reset(width, height);
    if (stroke_polylines(w.polylines, radius, kTolerance, w.pen)) {
        std::fill(image.grown.begin(), image.grown.end(), std::uint8_t{255});
        return;
    }
    for (int y = 0; y < height; ++y) {
        std::uint8_t* grown = image.grown.data() + std::size_t(y) * width;
        const std::uint8_t* fill = image.fill.data() + std::size_t(y) * width;
        w.pen.resolve_row(y, grown);
        for (int x = 0; x < width; ++x) grown[x] = std::max(grown[x], fill[x]);
    }
}

void render_outline(Work& w, FT_Outline* outline, const GlyphTransform& t, double radius,
                    const Rect& rect, GlyphImage& image) {
    const double margin = radius + 2;
    w.polylines.begin({-margin, -margin, static_cast<double>(rect.x1 - rect.x0) + margin,
                       static_cast<double>(rect.y1 - rect.y0) + margin},
                      kTolerance);
    OutlineMap map{&w.polylines, t.scale, t.shear, -static_cast<double>(rect.x0),
                   -static_cast<double>(rect.y0)};
    FT_Outline_Decompose(outline, &kWalk, &map);
    w.polylines.end();
    render_polylines(w, radius, rect, image);
}

// Adds an image placed at (ox, oy) to the box's planes: glyph coverage
// accumulates as anti-aliased drawing over drawing does, the outline as a
// union.
void compose(const GlyphImage& image, std::int64_t ox, std::int64_t oy, const Rect& box,
             TextCoverage& out) {
    const Rect placed = image.rect.shifted(ox, oy);
    const Rect part = placed.intersect(box);
    if (part.empty()) return;
    const std::size_t image_w = static_cast<std::size_t>(image.rect.x1 - image.rect.x0);
    const int n = static_cast<int>(part.x1 - part.x0);
    for (std::int64_t y = part.y0; y < part.y1; ++y) {
        const std::size_t src = static_cast<std::size_t>(y - placed.y0) * image_w +
                                static_cast<std::size_t>(part.x0 - placed.x0);
        const std::size_t dst = static_cast<std::size_t>(y - box.y0) * out.w +
                                static_cast<std::size_t>(part.x0 - box.x0);
        const std::uint8_t* fill = image.fill.data() + src;
        std::uint8_t* glyph = out.glyph.data() + dst;
        for (int x = 0; x < n; ++x) {
            const int a = glyph[x], c = fill[x];
            glyph[x] = static_cast<std::uint8_t>(a + c - div255(a * c));
        }
        if (!image.grown.empty()) {
            const std::uint8_t* grown = image.grown.data() + src;
            std::uint8_t* edge = out.edge.data() + dst;
            for (int x = 0; x < n; ++x) edge[x] = std::max(edge[x], grown[x]);
        }
    }
}

bool is_line_break(char32_t c) { return c == U'\n' || c == U'\r'; }
bool is_control(char32_t c) { return c < 0x20 || c == 0x7F; }

std::string_view up_to_nul(std::string_view s) { return s.substr(0, s.find('\0')); }

}  // namespace

void rasterise_text(const TextStyle& style, std::string_view text, int x, int y, TextAnchor anchor,
                    int grid_w, int grid_h, TextCoverage& out) {
    out.x = out.y = out.w = out.h = 0;
    text = up_to_nul(text);
    if (text.empty() || grid_w <= 0 || grid_h <= 0) return;
    FontLibrary& library = FontLibrary::instance();
    ResolvedFont* font = library.resolve(up_to_nul(style.face), style.bold, style.italic);
    if (font == nullptr) return;

    Work& w = work();
    if (w.generation != library.generation() || w.cache_bytes > kCacheBytes) {
        w.cache.clear();
        w.cache_bytes = 0;
        w.generation = library.generation();
    }
    const int height = std::max(style.height, 1);
    const std::int64_t edge =
        std::min<std::int64_t>(std::llabs(std::int64_t{style.edge_width}), INT_MAX);
    const double radius = static_cast<double>(edge) / 2;
    const FontFace* primary = library.primary(font);
    const double primary_scale = height / primary->cell_units;
    const std::int64_t ascent = clamp_far(std::round(primary->ascent_units * primary_scale));
    const Rect grid{0, 0, grid_w, grid_h};

    // Layout: glyph origins line by line, and the box that can change.
    w.glyphs.clear();
    w.underlines.clear();
    Rect box;
    const std::u32string chars = decode_script_text(text);
    std::int64_t line_top = y;
    for (std::size_t i = 0; i <= chars.size(); line_top += height) {
        const std::size_t first = w.glyphs.size();
        std::int64_t pen = 0;
        for (; i < chars.size() && !is_line_break(chars[i]); ++i) {
            if (is_control(chars[i])) continue;
            const GlyphSource src = library.glyph(font, chars[i]);
            const GlyphTransform t = transform_for(src, height);
            FT_Fixed advance = 0;
            FT_Get_Advance(src.face->face, src.index, FT_LOAD_NO_SCALE, &advance);
            w.glyphs.push_back({src, pen, 0});
            pen += clamp_far(std::round(advance * t.scale)) +
                   clamp_far(std::round(t.embolden * t.scale));
        }
        const std::int64_t start = anchor == kAnchorLeft     ? x
                                   : anchor == kAnchorCentre ? x - pen / 2
                                                             : x - pen;
        const std::int64_t baseline = line_top + ascent;
        std::size_t kept = first;  // glyphs that can reach the grid
        for (std::size_t k = first; k < w.glyphs.size(); ++k) {
            PlacedGlyph g = w.glyphs[k];
            g.x += start;
            g.y = baseline;
            const Rect reach =
                glyph_reach(g.source, height, radius).shifted(g.x, g.y).intersect(grid);
            if (reach.empty()) continue;
            box.include(reach);
            w.glyphs[kept++] = g;
        }
        w.glyphs.resize(kept);
        if (style.underline && pen > 0) {
            const FT_Face face = primary->face;
            const double em = face->units_per_EM;
            const double thickness_units =
                face->underline_thickness > 0 ? face->underline_thickness : em / 20;
            const double position_units =
                face->underline_position != 0 ? face->underline_position : -em / 10;
            const std::int64_t thickness =
                std::max<std::int64_t>(1, clamp_far(std::round(thickness_units * primary_scale)));
            const std::int64_t top =
                baseline + clamp_far(std::round(-position_units * primary_scale)) - thickness / 2;
            const Rect rect{start, top, start + pen, top + thickness};
            w.underlines.push_back({rect});
            const std::int64_t m = static_cast<std::int64_t>(radius) + 2;
            box.include(Rect{rect.x0 - m, rect.y0 - m, rect.x1 + m, rect.y1 + m}.intersect(grid));
        }
        if (i < chars.size() && chars[i] == U'\r' && i + 1 < chars.size() && chars[i + 1] == U'\n')
            ++i;
        ++i;
    }
    if (box.empty()) return;

    out.x = static_cast<int>(box.x0), out.y = static_cast<int>(box.y0);
    out.w = static_cast<int>(box.x1 - box.x0), out.h = static_cast<int>(box.y1 - box.y0);
    const std::size_t size = static_cast<std::size_t>(out.w) * static_cast<std::size_t>(out.h);
    out.glyph.assign(size, 0);
    out.edge.assign(size, 0);

    // Glyphs: kept images where there are some, else rendered now.
    for (const PlacedGlyph& g : w.glyphs) {
        const GlyphTransform t = transform_for(g.source, height);
        if (glyph_reach(g.source, height, radius).shifted(g.x, g.y).intersect(box).empty())
            continue;
        const GlyphKey key{g.source.face,  g.source.index, g.source.embolden,
                           g.source.slant, height,         static_cast<int>(edge)};
        const auto hit = w.cache.find(key);
        if (hit != w.cache.end()) {
            compose(hit->second, g.x, g.y, box, out);
            continue;
        }
        FT_Outline* outline = load_outline(g.source, t);
        if (outline == nullptr) continue;
        FT_BBox cbox;
        FT_Outline_Get_CBox(outline, &cbox);
        const Rect rect =
            pixel_rect(cbox.xMin, cbox.yMin, cbox.xMax, cbox.yMax, t.scale, t.shear, radius + 1);
        if (rect.fits(kCacheableArea)) {
            GlyphImage& image = w.cache_bytes <= kCacheBytes ? w.cache[key] : w.scratch;
            render_outline(w, outline, t, radius, rect, image);
            if (&image != &w.scratch) w.cache_bytes += image.fill.size() + image.grown.size() + 64;
            compose(image, g.x, g.y, box, out);
        } else {
            // Too large to keep: only the part over the box is drawn.
            const Rect part = rect.intersect(box.shifted(-g.x, -g.y));
            if (part.empty()) continue;
            render_outline(w, outline, t, radius, part, w.scratch);
            compose(w.scratch, g.x, g.y, box, out);
        }
    }

    // Underlines, as rectangles through the same fill and pen.
    for (const Underline& u : w.underlines) {
        const std::int64_t m = static_cast<std::int64_t>(radius) + 2;
        const Rect part =
            Rect{u.rect.x0 - m, u.rect.y0 - m, u.rect.x1 + m, u.rect.y1 + m}.intersect(box);
        if (part.empty()) continue;
        const double margin = radius + 2;
        w.polylines.begin({-margin, -margin, static_cast<double>(part.x1 - part.x0) + margin,
                           static_cast<double>(part.y1 - part.y0) + margin},
                          kTolerance);
        // Corners relative to the part, kept within a few pixels of it so
        // that very long lines stay exact in floating point.
        const auto local = [&](std::int64_t v, std::int64_t origin, std::int64_t size) {
            return static_cast<double>(std::clamp<std::int64_t>(v - origin, -m - 1, size + m + 1));
        };
        const std::int64_t pw = part.x1 - part.x0, ph = part.y1 - part.y0;
        const double x0 = local(u.rect.x0, part.x0, pw), x1 = local(u.rect.x1, part.x0, pw);
        const double y0 = local(u.rect.y0, part.y0, ph), y1 = local(u.rect.y1, part.y0, ph);
        w.polylines.move_to({x0, y0});
        w.polylines.line_to({x1, y0});
        w.polylines.line_to({x1, y1});
        w.polylines.line_to({x0, y1});
        w.polylines.end();
        render_polylines(w, radius, {0, 0, pw, ph}, w.scratch);
        compose(w.scratch, part.x0, part.y0, box, out);
    }

    // The two channels: the glyphs over the outline.  (Plain pointers: byte
    // stores through the vectors would make the compiler reload them.)
    std::uint8_t* glyph = out.glyph.data();
    std::uint8_t* outline = out.edge.data();
    for (std::size_t i = 0; i < size; ++i) {
        const int a = glyph[i], g = div255(outline[i] * (255 - a));
        outline[i] = static_cast<std::uint8_t>(g);
        glyph[i] = static_cast<std::uint8_t>(a + g);
    }
}

void release_glyph_cache() {
    Work& w = work();
    w.cache.clear();
    w.cache_bytes = 0;
    FontLibrary::instance().release();
}

}  // namespace platform
