// Typefaces for text: a face name (script bytes) with a weight and a slant is
// matched by fontconfig to a font file, which FreeType opens.  Matching asks
// for Japanese coverage as well, so a name the machine does not have (the
// default "ＭＳ ゴシック" among them) falls back to an installed Japanese
// gothic face rather than to a Latin-only one.  A character missing from the
// chosen face is looked up in whichever installed face has it.
//
// Opened faces and matches are kept between calls; the sets are bounded and
// start afresh when full.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <string_view>

namespace platform {

struct FontFace {
    FT_Face face = nullptr;
    double cell_units = 1;    // ascent + descent, in font units
    double ascent_units = 1;  // baseline below the cell top, in font units
    bool bold = false;        // the face itself is bold (no emboldening needed)
    bool italic = false;      // the face itself is italic or oblique
};

// One character of a text: the face and glyph that draw it, and whether the
// requested weight and slant have to be synthesised for that face.
struct GlyphSource {
    const FontFace* face = nullptr;
    FT_UInt index = 0;
    bool embolden = false;
    bool slant = false;
};

struct ResolvedFont;

class FontLibrary {
public:
    static FontLibrary& instance();

    FT_Library freetype() const { return library_; }

    // The font for a face name, weight and slant; null when no font at all
    // can be opened.  Valid until `generation()` changes.
    ResolvedFont* resolve(std::string_view face_bytes, bool bold, bool italic);

    // The primary face of a resolved font (for the line metrics).
    const FontFace* primary(const ResolvedFont* font) const;

    // The glyph that draws character c; the primary face's missing-glyph
    // shape when no face has it.
    GlyphSource glyph(ResolvedFont* font, char32_t c);

    // Changes whenever cached fonts and faces are dropped; caches built on
    // them must then be dropped too.
    std::uint64_t generation() const { return generation_; }

    // Closes every face and forgets every match.
    void release();

    FontLibrary(const FontLibrary&) = delete;
    FontLibrary& operator=(const FontLibrary&) = delete;

private:
    FontLibrary();
    ~FontLibrary();
    struct State;
    State* state_;
    FT_Library library_ = nullptr;
    std::uint64_t generation_ = 0;
};

}  // namespace platform
