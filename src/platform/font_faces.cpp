#include "platform/font_faces.h"

#include <fontconfig/fontconfig.h>
#include FT_TRUETYPE_TABLES_H

#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>

#include "platform/text_encoding.h"

namespace platform {

namespace {

constexpr std::size_t kMaxFonts = 32;
constexpr std::size_t kMaxFaces = 48;
constexpr std::size_t kMaxFallbacks = 4096;

struct FcPatternDeleter {
    void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
using PatternPtr = std::unique_ptr<FcPattern, FcPatternDeleter>;
struct FcFontSetDeleter {
    void operator()(FcFontSet* s) const { FcFontSetDestroy(s); }
};
using FontSetPtr = std::unique_ptr<FcFontSet, FcFontSetDeleter>;

// Line metrics as the editor's platform measures a font: the cell is the
// Windows ascent plus descent of the OS/2 table, else the face's own
// ascender and descender, else the em square.
void measure(FontFace& f) {
    const FT_Face face = f.face;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    double ascent = 0, descent = 0;
    if (os2 != nullptr && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
        ascent = os2->usWinAscent, descent = os2->usWinDescent;
    } else if (face->ascender - face->descender > 0) {
        ascent = face->ascender, descent = -face->descender;
    } else {
        ascent = face->units_per_EM * 0.8, descent = face->units_per_EM * 0.2;
    }
    f.cell_units = ascent + descent > 0 ? ascent + descent : 1;
    f.ascent_units = ascent;
    f.bold = (face->style_flags & FT_STYLE_FLAG_BOLD) != 0 || (os2 && os2->usWeightClass >= 600);
    f.italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
}

}  // namespace

struct ResolvedFont {
    std::string family;  // UTF-8
    bool bold = false, italic = false;
    FontFace* primary = nullptr;
    bool sorted_fetched = false;
    FontSetPtr sorted;  // fonts to try for characters the primary face lacks
    std::unordered_map<char32_t, std::pair<FontFace*, FT_UInt>> fallback;
};

struct FontLibrary::State {
    // A configuration of our own (the system's files, loaded once), so that
    // nothing else in the process shares or loses it.
    FcConfig* config = FcInitLoadConfigAndFonts();
    std::map<std::pair<std::string, int>, FontFace> faces;  // by file and index
    std::map<std::tuple<std::string, bool, bool>, ResolvedFont> fonts;

    // The opened face of a font file; null when it cannot be opened, has no
    // outlines, or too many faces are open.
    FontFace* open(FT_Library library, const std::string& file, int index) {
        const auto key = std::make_pair(file, index);
        const auto it = faces.find(key);
        if (it != faces.end()) return &it->second;
        if (faces.size() >= kMaxFaces) return nullptr;
        FontFace f;
        if (FT_New_Face(library, file.c_str(), index, &f.face) != 0) return nullptr;
        if (!FT_IS_SCALABLE(f.face)) {
            FT_Done_Face(f.face);
            return nullptr;
        }
        measure(f);
        return &faces.emplace(key, f).first->second;
    }
};

FontLibrary& FontLibrary::instance() {
    static FontLibrary library;
    return library;
}

FontLibrary::FontLibrary() : state_(new State) {
    if (FT_Init_FreeType(&library_) != 0) library_ = nullptr;
}

FontLibrary::~FontLibrary() {
    for (auto& entry : state_->faces) FT_Done_Face(entry.second.face);
    FcConfig* config = state_->config;
    delete state_;
    if (config != nullptr) FcConfigDestroy(config);
    if (library_ != nullptr) FT_Done_FreeType(library_);
}

namespace {

PatternPtr make_pattern(const std::string& family, bool bold, bool italic) {
    PatternPtr p(FcPatternCreate());
    if (!p) return p;
    if (!family.empty())
        FcPatternAddString(p.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(p.get(), FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(p.get(), FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddString(p.get(), FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
    FcPatternAddBool(p.get(), FC_SCALABLE, FcTrue);
    return p;
}

// The best installed font for a pattern, as file and face index.
bool match(FcConfig* config, FcPattern* pattern, std::string* file, int* index) {
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    PatternPtr found(FcFontMatch(config, pattern, &result));
    if (!found) return false;
    FcChar8* path = nullptr;
    if (FcPatternGetString(found.get(), FC_FILE, 0, &path) != FcResultMatch || path == nullptr)
        return false;
    *file = reinterpret_cast<const char*>(path);
    *index = 0;
    FcPatternGetInteger(found.get(), FC_INDEX, 0, index);
    return true;
}

}  // namespace

ResolvedFont* FontLibrary::resolve(std::string_view face_bytes, bool bold, bool italic) {
    if (library_ == nullptr || state_->config == nullptr) return nullptr;
    auto key = std::make_tuple(std::string(face_bytes), bold, italic);
    auto it = state_->fonts.find(key);
    if (it != state_->fonts.end()) return it->second.primary ? &it->second : nullptr;

    if (state_->fonts.size() >= kMaxFonts || state_->faces.size() >= kMaxFaces) release();
    ResolvedFont& font = state_->fonts[key];
    font.family = script_text_to_utf8(face_bytes);
    font.bold = bold;
    font.italic = italic;
    std::string file;
    int index = 0;
    PatternPtr pattern = make_pattern(font.family, bold, italic);
    if (pattern && match(state_->config, pattern.get(), &file, &index))
        font.primary = state_->open(library_, file, index);
    return font.primary ? &font : nullptr;
}

void FontLibrary::release() {
    for (auto& entry : state_->faces) FT_Done_Face(entry.second.face);
    state_->faces.clear();
    state_->fonts.clear();
    ++generation_;
}

const FontFace* FontLibrary::primary(const ResolvedFont* font) const { return font->primary; }

GlyphSource FontLibrary::glyph(ResolvedFont* font, char32_t c) {
    const auto source = [font](FontFace* face, FT_UInt index) {
        return GlyphSource{face, index, font->bold && !face->bold, font->italic && !face->italic};
    };
    FontFace* primary = font->primary;
    const FT_UInt index = FT_Get_Char_Index(primary->face, c);
    if (index != 0) return source(primary, index);

    auto it = font->fallback.find(c);
    if (it == font->fallback.end()) {
        if (font->fallback.size() >= kMaxFallbacks) font->fallback.clear();
        std::pair<FontFace*, FT_UInt> found{primary, 0};
        // The installed fonts in order of preference for this font's
        // pattern, fetched once; the first that has c draws it.
        if (!font->sorted_fetched) {
            font->sorted_fetched = true;
            PatternPtr pattern = make_pattern(font->family, font->bold, font->italic);
            if (pattern) {
                FcConfigSubstitute(state_->config, pattern.get(), FcMatchPattern);
                FcDefaultSubstitute(pattern.get());
                FcResult result = FcResultNoMatch;
                font->sorted.reset(
                    FcFontSort(state_->config, pattern.get(), FcTrue, nullptr, &result));
            }
        }
        const FcFontSet* set = font->sorted.get();
        for (int k = 0; set != nullptr && k < set->nfont; ++k) {
            FcCharSet* chars = nullptr;
            FcChar8* file = nullptr;
            int face_index = 0;
            if (FcPatternGetCharSet(set->fonts[k], FC_CHARSET, 0, &chars) != FcResultMatch ||
                !FcCharSetHasChar(chars, c) ||
                FcPatternGetString(set->fonts[k], FC_FILE, 0, &file) != FcResultMatch)
                continue;
            FcPatternGetInteger(set->fonts[k], FC_INDEX, 0, &face_index);
            FontFace* face =
                state_->open(library_, reinterpret_cast<const char*>(file), face_index);
            const FT_UInt other = face ? FT_Get_Char_Index(face->face, c) : 0;
            if (other != 0) {
                found = {face, other};
                break;
            }
        }
        it = font->fallback.emplace(c, found).first;
    }
    return source(it->second.first, it->second.second);
}

}  // namespace platform
