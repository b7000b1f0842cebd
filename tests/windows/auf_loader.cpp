// auf_loader: loads quorvel.auf as the video editor does and runs frames
// through it, writing the output frames' bytes, so that the Windows plug-in
// (under Wine) and the Linux one can be compared byte for byte.
//
//   auf_loader PLUGIN SCRIPT_DIR OUTPUT WIDTH HEIGHT FRAMES [THREADS]
//
// It checks the filter table the editor would rely on, calls func_init
// (when there is one), func_update, func_proc for each frame and func_exit,
// and serves get_file_info (a file in SCRIPT_DIR, so the plug-in runs
// SCRIPT_DIR's filter.lua), set_frame_n and the frame cache.  The input is a
// generated picture; the frame buffers are wider and taller than it, as the
// editor's are.  OUTPUT gets, per frame, a line "frame N W H" and the W x H
// picture's pixels (y, cb, cr as 16-bit little-endian values, row by row).
// Exit status 0 when every check held.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/host_os.h"
#include "platform/aviutl.h"
#include "platform/desktop.h"

namespace {

int failures = 0;

void check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "auf_loader: %s\n", what);
    ++failures;
}

struct Edit {
    int w = 0, h = 0, max_w = 0, max_h = 0, frame_n = 0;
    std::string file_name;
    std::vector<PIXEL_YC> cached;  // the frame get_ycp_filtering_cache_ex gave last
};
Edit edit;

// A picture with colour, edges and motion: bars of hue, a ramp, a square
// that moves with the frame number.
void make_frame(int n, PIXEL_YC* pixels, int stride) {
    for (int y = 0; y < edit.h; ++y)
        for (int x = 0; x < edit.w; ++x) {
            PIXEL_YC& p = pixels[static_cast<std::size_t>(y) * stride + x];
            const int bar = x * 8 / edit.w;
            p.y = static_cast<short>((x * 4096) / edit.w / 2 + (y * 2048) / edit.h);
            p.cb = static_cast<short>((bar & 1 ? 1200 : -900) + ((y * 37) % 300) - 150);
            p.cr = static_cast<short>((bar & 2 ? -1100 : 1000) + ((x * 53) % 200) - 100);
            const int sx = (n * 7) % (edit.w > 16 ? edit.w - 16 : 1), sy = edit.h / 3;
            if (x >= sx && x < sx + 16 && y >= sy && y < sy + 16) p = PIXEL_YC{3900, 0, 0};
        }
}

BOOL set_frame_n(void*, int n) {
    if (n < 0) return FALSE;
    edit.frame_n = n;
    return TRUE;
}

BOOL get_file_info(void*, FILE_INFO* fi) {
    *fi = FILE_INFO{};
    fi->name = edit.file_name.c_str();
    fi->w = edit.w;
    fi->h = edit.h;
    fi->video_rate = 30;
    fi->video_scale = 1;
    fi->frame_n = edit.frame_n;
    return TRUE;
}

BOOL set_cache_size(void*, int, int, int, int) { return TRUE; }

void* get_cached_frame(void*, void*, int n, int* w, int* h) {
    if (n < 0 || n >= edit.frame_n) return nullptr;
    edit.cached.assign(static_cast<std::size_t>(edit.max_w) * edit.max_h, PIXEL_YC{});
    make_frame(n, edit.cached.data(), edit.max_w);
    if (w) *w = edit.w;
    if (h) *h = edit.h;
    return edit.cached.data();
}

// Boxes are answered at once on the console, so nothing waits for a user.
int console_box(void*, const char* text, const char* caption, unsigned kind) {
    std::fprintf(stderr, "[%s] %s\n", caption, text);
    return (kind & 0xF) == MB_YESNO ? IDYES : IDOK;
}
void* no_window(const char*) { return nullptr; }
void no_message(void*, unsigned, std::uintptr_t, std::intptr_t) {}
const DesktopServices console = {console_box, no_window, no_message};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 7) {
        std::fprintf(stderr,
                     "usage: auf_loader PLUGIN SCRIPT_DIR OUTPUT WIDTH HEIGHT FRAMES [THREADS]\n");
        return 2;
    }
    edit.w = std::atoi(argv[4]);
    edit.h = std::atoi(argv[5]);
    edit.frame_n = std::atoi(argv[6]);
    const int threads = argc > 7 ? std::atoi(argv[7]) : 2;
    if (edit.w < 16 || edit.h < 16 || edit.frame_n < 1) {
        std::fprintf(stderr, "auf_loader: the picture must be at least 16x16 and run a frame\n");
        return 2;
    }
    edit.max_w = edit.w + 16;
    edit.max_h = edit.h + 8;
    edit.file_name = std::string(argv[2]) + host_os::kSeparator + "input.y4m";

    std::string error;
    void* library = host_os::load_library(argv[1], &error);
    if (library == nullptr) {
        std::fprintf(stderr, "auf_loader: cannot load %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    auto get_table =
        reinterpret_cast<GetFilterTableFn>(host_os::library_symbol(library, "GetFilterTable"));
    if (get_table == nullptr) {
        std::fprintf(stderr, "auf_loader: %s exports no GetFilterTable\n", argv[1]);
        return 1;
    }
    const FILTER_DLL* table = get_table();
    check(table != nullptr && get_table() == table, "GetFilterTable gives one table every time");
    if (table == nullptr) return 1;
    check(table->flag == (FILTER_FLAG_MAIN_MESSAGE | FILTER_FLAG_EX_INFORMATION),
          "the table's flags");
    check(table->name != nullptr && std::strcmp(table->name, "Quorvel") == 0, "the filter's name");
    check(table->information != nullptr && std::strcmp(table->information, "Quorvel Ver0.01") == 0,
          "the filter's information");
    check(table->track_n == 12 && table->check_n == 1, "twelve tracks and one check box");
    check(table->func_proc && table->func_exit && table->func_update && table->func_WndProc,
          "the four callbacks");
    if (failures != 0 || table->track_n != 12) return 1;

    // The editor's copy of the table, with the fields it fills.
    FILTER fp = *table;
    std::vector<int> tracks(table->track_default, table->track_default + table->track_n);
    std::vector<int> checks(table->check_default, table->check_default + table->check_n);
    tracks[1] = threads;
    EXFUNC exfunc{};
    exfunc.set_frame_n = set_frame_n;
    exfunc.get_file_info = get_file_info;
    exfunc.set_ycp_filtering_cache_size = set_cache_size;
    exfunc.get_ycp_filtering_cache_ex = get_cached_frame;
    fp.track = tracks.data();
    fp.check = checks.data();
    fp.exfunc = &exfunc;
    if (auto set =
            reinterpret_cast<SetDesktopFn>(host_os::library_symbol(library, "QuorvelSetDesktop")))
        set(&console);

    std::FILE* out = std::fopen(argv[3], "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "auf_loader: cannot write %s\n", argv[3]);
        return 1;
    }
    if (fp.func_init) check(fp.func_init(&fp) != FALSE, "func_init");
    fp.func_update(&fp, 0);
    const std::size_t pixels = static_cast<std::size_t>(edit.max_w) * edit.max_h;
    std::vector<PIXEL_YC> ycp_edit(pixels), ycp_temp(pixels);
    const int frames = edit.frame_n;
    for (int n = 0; n < frames && n < edit.frame_n; ++n) {
        FILTER_PROC_INFO fpip{};
        std::fill(ycp_edit.begin(), ycp_edit.end(), PIXEL_YC{});
        make_frame(n, ycp_edit.data(), edit.max_w);
        fpip.ycp_edit = ycp_edit.data();
        fpip.ycp_temp = ycp_temp.data();
        fpip.w = edit.w, fpip.h = edit.h;
        fpip.max_w = edit.max_w, fpip.max_h = edit.max_h;
        fpip.frame = n, fpip.frame_n = edit.frame_n;
        fpip.org_w = edit.w, fpip.org_h = edit.h;
        fpip.yc_size = sizeof(PIXEL_YC);
        fpip.line_size = static_cast<int>(edit.max_w * sizeof(PIXEL_YC));
        check(fp.func_proc(&fp, &fpip) == TRUE, "func_proc reports the frame processed");
        // swapbuf may have handed over the scratch buffer, dispsize another size.
        const int w = fpip.w < edit.max_w ? fpip.w : edit.max_w,
                  h = fpip.h < edit.max_h ? fpip.h : edit.max_h;
        std::fprintf(out, "frame %d %d %d\n", n, w, h);
        for (int y = 0; y < h; ++y)
            std::fwrite(fpip.ycp_edit + static_cast<std::size_t>(y) * edit.max_w, sizeof(PIXEL_YC),
                        static_cast<std::size_t>(w), out);
    }
    check(fp.func_exit(&fp) == TRUE, "func_exit");
    check(std::fclose(out) == 0, "writing the output");
    host_os::unload_library(library);
    return failures == 0 ? 0 : 1;
}
