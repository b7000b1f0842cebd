// The filter table handed to the editor and the callbacks it drives.
#include "host/filter_table.h"

#include <cstdio>
#include <exception>

#include "buffers/store.h"
#include "host/adapter_state.h"
#include "platform/desktop.h"
#include "platform/system.h"
#include "platform/thread_pool.h"
#include "script/engine.h"
#include "script/filter_info.h"

namespace host {

AdapterState& adapter_state() {
    static AdapterState state;
    return state;
}

bool close_color_box() {
    void* box = platform::find_window(kColorBoxCaption);
    if (box == nullptr) return false;
    platform::send_message(box, WM_COMMAND, IDCANCEL, 0);
    return true;
}

}  // namespace host

namespace {

const char* const track_names[kTrackCount] = {
    "ｽｸﾘﾌﾟﾄ№", "スレッド数", "表示Buf", "変数a", "変数b", "変数c",
    "変数d",   "変数u",      "変数v",   "変数x", "変数y", "変数z",
};
const int track_defaults[kTrackCount] = {0, 2, 0, 0, 0, 0, 0, 0, 0, 2048, 2048, 2048};
const int track_mins[kTrackCount] = {0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const int track_maxs[kTrackCount] = {10,   16,   19,   4096, 4096, 4096,
                                     4096, 4096, 4096, 4096, 4096, 4096};
const char* const check_names[1] = {"クリックで色情報の表示"};
const int check_defaults[1] = {0};

void report_escape(const char* name, const char* what) noexcept {
    char text[512];
    std::snprintf(text, sizeof text, "%s: %s", name, what);
    log_line(text);
    std::fprintf(stderr, "Quorvel: %s\n", text);
}

// Nothing may leave an entry point as a C++ exception: the editor is C and
// would be ended by it.  What escapes is logged and the call reports failure.
template <class Body>
BOOL entry_point(const char* name, Body&& body) {
    try {
        return body();
    } catch (const std::exception& e) {
        report_escape(name, e.what());
    } catch (...) {
        report_escape(name, "unknown exception");
    }
    return FALSE;
}

// Shown once when the Lua library cannot be found; frames then pass
// through unchanged.
const char* const kNoLua = "lua.dll が見つかりません。quorvel.auf と同じフォルダに置いてください。";

BOOL proc(FILTER* fp, FILTER_PROC_INFO* fpip) {
    host::AdapterState& state = host::adapter_state();
    if (!platform::script_runtime_available()) {
        static bool told = false;
        if (!told) {
            told = true;
            platform::message_box(nullptr, kNoLua, "Quorvel", MB_OK | MB_ICONHAND);
        }
        return TRUE;
    }
    state.last_ycp_edit = fpip->ycp_edit;
    state.last_max_w = fpip->max_w;
    state.last_max_h = fpip->max_h;
    // A new frame dismisses the colour box; the click handler clears the flag
    // when its box returns.
    if (state.color_box_open != 0 && !host::close_color_box()) state.color_box_open = 0;
    return run_frame(fp, fpip) == 1 ? TRUE : FALSE;
}

BOOL func_proc(FILTER* fp, FILTER_PROC_INFO* fpip) {
    return entry_point("func_proc", [&] { return proc(fp, fpip); });
}

BOOL func_update(FILTER* fp, int /*status*/) {
    return entry_point("func_update", [&] {
        pool::set_worker_count(fp->track[kTrackThreads]);
        return FALSE;
    });
}

BOOL func_exit(FILTER* /*fp*/) {
    return entry_point("func_exit", [] {
        close_engine();
        free_slots();
        release_all_dynamic();
        // The worker threads end here, before the editor unloads the
        // plug-in: during the unload they could not (see thread_pool.cpp).
        pool::shut_down();
        return TRUE;
    });
}

BOOL func_WndProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, void* editp, FILTER* fp) {
    return entry_point("func_WndProc",
                       [&] { return window_proc(hwnd, message, wparam, lparam, editp, fp); });
}

FILTER_DLL filter_table = {
    FILTER_FLAG_MAIN_MESSAGE | FILTER_FLAG_EX_INFORMATION,
    0,
    0,
    "Quorvel",
    kTrackCount,
    track_names,
    track_defaults,
    track_mins,
    track_maxs,
    1,
    check_names,
    check_defaults,
    func_proc,
    nullptr,
    func_exit,
    func_update,
    func_WndProc,
    nullptr,
    nullptr,
    nullptr,
    0,
    "Quorvel Ver0.01",
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    {0, 0},
};

}  // namespace

extern "C" QUORVEL_EXPORT FILTER_DLL* QUORVEL_STDCALL GetFilterTable() { return &filter_table; }

extern "C" QUORVEL_EXPORT void QuorvelSetLogListener(void (*listener)(const char* text)) {
    set_log_listener(listener);
}

extern "C" QUORVEL_EXPORT void QuorvelSetScriptLimits(double frame_timeout_seconds,
                                                      unsigned long long memory_bytes,
                                                      int sandbox) {
    ScriptLimits limits;
    limits.frame_timeout_seconds = frame_timeout_seconds;
    limits.memory_bytes = static_cast<std::size_t>(memory_bytes);
    limits.sandbox = sandbox != 0;
    set_script_limits(limits);
}
