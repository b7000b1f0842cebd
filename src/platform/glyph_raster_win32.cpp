// rasterise_text with GDI: the text is drawn into a black 32-bit DIB section
// the size of the grid, the outline first (the text recorded as a path,
// stroked with a white pen of the outline width and filled white) and then
// the anti-aliased glyphs in pure blue over it.  The blue bytes are then the
// glyph mask and the green bytes the outline mask.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/glyph_raster.h"
#include "platform/wide_text_win32.h"

namespace platform {

namespace {

// GDI objects, deleted when they go (after being deselected).
struct DcOwner {
    HDC dc = nullptr;
    ~DcOwner() {
        if (dc) DeleteDC(dc);
    }
};
struct ObjectOwner {
    HGDIOBJ object = nullptr;
    ~ObjectOwner() {
        if (object) DeleteObject(object);
    }
};

// The text up to its first NUL.
std::string_view before_nul(std::string_view text) {
    const std::size_t nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

constexpr UINT kAlignments[3] = {TA_RIGHT, TA_CENTER, TA_LEFT};

// Copies the blue and green bytes of the bitmap's smallest box holding
// every non-zero one into `out`.
void collect_masks(const std::uint8_t* bits, int grid_w, int grid_h, TextCoverage& out) {
    int x0 = grid_w, x1 = -1, y0 = grid_h, y1 = -1;
    for (int y = 0; y < grid_h; ++y) {
        const std::uint8_t* row = bits + static_cast<std::size_t>(y) * grid_w * 4;
        for (int x = 0; x < grid_w; ++x)
            if (row[4 * x] != 0 || row[4 * x + 1] != 0) {
                x0 = std::min(x0, x), x1 = std::max(x1, x);
                y0 = std::min(y0, y), y1 = y;
            }
    }
    if (x1 < 0) return;
    out.x = x0, out.y = y0, out.w = x1 - x0 + 1, out.h = y1 - y0 + 1;
    const std::size_t count = static_cast<std::size_t>(out.w) * out.h;
    out.glyph.resize(count);
    out.edge.resize(count);
    for (int i = 0; i < out.h; ++i) {
        const std::uint8_t* row = bits + (static_cast<std::size_t>(y0 + i) * grid_w + x0) * 4;
        std::uint8_t* glyph = out.glyph.data() + static_cast<std::size_t>(i) * out.w;
        std::uint8_t* edge = out.edge.data() + static_cast<std::size_t>(i) * out.w;
        for (int j = 0; j < out.w; ++j) {
            glyph[j] = row[4 * j];
            edge[j] = row[4 * j + 1];
        }
    }
}

}  // namespace

void rasterise_text(const TextStyle& style, std::string_view text, int x, int y, TextAnchor anchor,
                    int grid_w, int grid_h, TextCoverage& out) {
    out.x = out.y = out.w = out.h = 0;
    out.glyph.clear();
    out.edge.clear();
    if (grid_w < 1 || grid_h < 1 || static_cast<unsigned>(anchor) > 2) return;
    const std::wstring wide = to_wide(before_nul(text));
    if (wide.empty()) return;

    DcOwner dc{CreateCompatibleDC(nullptr)};
    if (dc.dc == nullptr) return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = grid_w;
    info.bmiHeader.biHeight = -grid_h;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    ObjectOwner bitmap{CreateDIBSection(dc.dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0)};
    if (bitmap.object == nullptr || bits == nullptr) return;
    const HGDIOBJ old_bitmap = SelectObject(dc.dc, bitmap.object);

    const std::wstring face = to_wide(style.face);
    ObjectOwner font{CreateFontW(std::max(style.height, 1), 0, 0, 0,
                                 style.bold ? FW_BOLD : FW_NORMAL, style.italic, style.underline,
                                 FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                 ANTIALIASED_QUALITY, DEFAULT_PITCH, face.c_str())};
    // Without the font the context's own draws the text.
    const HGDIOBJ old_font = font.object ? SelectObject(dc.dc, font.object) : nullptr;

    RECT layout;
    SetRect(&layout, x, y, grid_w - 1, grid_h - 1);
    ObjectOwner thin_pen{CreatePen(PS_SOLID, 1, RGB(255, 255, 255))};
    ObjectOwner edge_pen{CreatePen(PS_SOLID, std::max(style.edge_width, 0), RGB(255, 255, 255))};
    std::memset(bits, 0, static_cast<std::size_t>(grid_w) * grid_h * 4);
    SetMapMode(dc.dc, MM_TEXT);
    SetTextAlign(dc.dc, kAlignments[anchor]);
    SetBkColor(dc.dc, RGB(0, 0, 0));
    SetBkMode(dc.dc, TRANSPARENT);
    const HGDIOBJ old_pen = GetCurrentObject(dc.dc, OBJ_PEN);
    const UINT format = DT_NOPREFIX | DT_NOCLIP;
    if (style.edge_width > 0 && edge_pen.object != nullptr) {
        // The glyph shapes grown by the pen, white: blue and green 255.
        SelectObject(dc.dc, edge_pen.object);
        SetTextColor(dc.dc, RGB(0, 255, 0));
        BeginPath(dc.dc);
        DrawTextW(dc.dc, wide.c_str(), -1, &layout, format);
        EndPath(dc.dc);
        StrokeAndFillPath(dc.dc);
    }
    if (thin_pen.object != nullptr) SelectObject(dc.dc, thin_pen.object);
    SetTextColor(dc.dc, RGB(0, 0, 255));
    DrawTextW(dc.dc, wide.c_str(), -1, &layout, format);
    GdiFlush();

    collect_masks(static_cast<const std::uint8_t*>(bits), grid_w, grid_h, out);

    SelectObject(dc.dc, old_pen);
    if (old_font != nullptr) SelectObject(dc.dc, old_font);
    SelectObject(dc.dc, old_bitmap);
}

// GDI keeps its own glyph cache; there is nothing of ours to drop.
void release_glyph_cache() {}

}  // namespace platform
