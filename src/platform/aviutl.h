// The video editor's plug-in records, as the editor lays them out.
//
// A filter plug-in exports GetFilterTable(), which returns a FILTER_DLL.  The
// editor copies it into a FILTER record of the same layout, fills in the
// fields it owns (track, check, exfunc, hwnd, ...) and calls the callbacks with
// it.  Field order follows the editor's own headers so that a Windows build of
// the plug-in stays binary-compatible with the real editor; on Linux the host
// program (cli/) is the only caller and includes this same header.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/export.h"

extern "C" {

typedef int BOOL;
typedef void* HWND;
typedef void* HINSTANCE;
typedef unsigned int UINT;
typedef std::uintptr_t WPARAM;
typedef std::intptr_t LPARAM;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

// One pixel of the editor's frames: luma and two chroma components, signed
// 16 bits each.  Nominal ranges Y 0..4096, Cb/Cr -2048..2048.
struct PIXEL_YC {
    std::int16_t y;
    std::int16_t cb;
    std::int16_t cr;
};
static_assert(sizeof(PIXEL_YC) == 6, "PIXEL_YC must be 6 bytes");

// What the editor reports about the file being edited.  Only `name` (the
// file's path) is read by the plug-in.
struct FILE_INFO {
    int flag;
    const char* name;
    int w, h;
    int video_rate, video_scale;
    int audio_rate, audio_ch;
    int frame_n;
    std::uint32_t video_decode_format;
    int video_decode_bit;
    int audio_n;
    int reserve[4];
};

// The record passed to func_proc for each frame.
struct FILTER_PROC_INFO {
    int flag;
    PIXEL_YC* ycp_edit;  // the frame being edited; the editor's output
    PIXEL_YC* ycp_temp;  // the editor's scratch frame of the same size
    int w, h;            // picture size of this frame
    int max_w, max_h;    // capacity and row stride of every frame buffer
    int frame;           // number of this frame
    int frame_n;         // number of frames of the edited video
    int org_w, org_h;
    short* audiop;
    int audio_n;
    int audio_ch;
    void* pixelp;
    void* editp;  // the editor's handle of the edit, passed back to services
    int yc_size;
    int line_size;
    int reserve[8];
};

// The editor's service table.  The plug-in calls only four entries; the
// others are kept as placeholders so that the four stay at their indices
// (10, 23, 44 and 50, counted from 0).
struct EXFUNC {
    void* entry0_9[10];
    BOOL (*set_frame_n)(void* editp, int n);  // 10
    void* entry11_22[12];
    BOOL (*get_file_info)(void* editp, FILE_INFO* fip);  // 23
    void* entry24_43[20];
    BOOL (*set_ycp_filtering_cache_size)(void* fp, int w, int h, int d, int flag);  // 44
    void* entry45_49[5];
    void* (*get_ycp_filtering_cache_ex)(void* fp, void* editp, int n, int* w, int* h);  // 50
    void* reserve[8];
};
static_assert(offsetof(EXFUNC, set_frame_n) == 10 * sizeof(void*));
static_assert(offsetof(EXFUNC, get_file_info) == 23 * sizeof(void*));
static_assert(offsetof(EXFUNC, set_ycp_filtering_cache_size) == 44 * sizeof(void*));
static_assert(offsetof(EXFUNC, get_ycp_filtering_cache_ex) == 50 * sizeof(void*));

struct FILTER;
typedef BOOL (*FilterProc)(FILTER* fp, FILTER_PROC_INFO* fpip);
typedef BOOL (*FilterInit)(FILTER* fp);
typedef BOOL (*FilterExit)(FILTER* fp);
typedef BOOL (*FilterUpdate)(FILTER* fp, int status);
typedef BOOL (*FilterWndProc)(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, void* editp,
                              FILTER* fp);

// FILTER_DLL (what GetFilterTable returns) and FILTER (what the editor passes
// back) share one layout.
struct FILTER {
    int flag;
    int x, y;
    const char* name;
    int track_n;
    const char* const* track_name;
    const int* track_default;
    const int* track_s;
    const int* track_e;
    int check_n;
    const char* const* check_name;
    const int* check_default;
    FilterProc func_proc;
    FilterInit func_init;
    FilterExit func_exit;
    FilterUpdate func_update;
    FilterWndProc func_WndProc;
    int* track;  // current track values, filled by the editor
    int* check;  // current check box values, filled by the editor
    void* ex_data_ptr;
    int ex_data_size;
    const char* information;
    void* func_save_start;
    void* func_save_end;
    EXFUNC* exfunc;
    HWND hwnd;
    HINSTANCE dll_hinst;
    void* ex_data_def;
    void* func_is_saveframe;
    void* func_project_load;
    void* func_project_save;
    void* func_modify_title;
    const char* dll_path;
    int reserve[2];
};
typedef FILTER FILTER_DLL;

constexpr int FILTER_FLAG_MAIN_MESSAGE = 0x40000000;
constexpr int FILTER_FLAG_EX_INFORMATION = 0x00040000;

// Window message the editor sends when the mouse is pressed over the preview;
// lparam carries x (low 16 bits) and y (high 16 bits), signed, in picture
// coordinates.
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_FILTER_MAIN_MOUSE_DOWN = WM_USER + 120;
constexpr UINT WM_COMMAND = 0x0111;

// Message box kinds and answers, with the values the desktop uses.
constexpr UINT MB_OK = 0x0;
constexpr UINT MB_YESNO = 0x4;
constexpr UINT MB_ICONHAND = 0x10;
constexpr UINT MB_TOPMOST = 0x40000;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// The plug-in's single export.
typedef FILTER_DLL*(QUORVEL_STDCALL* GetFilterTableFn)();
// The editor is a 32-bit program: in a 32-bit build (the Windows plug-in)
// every record must match its published layout, pointers and ints 4 bytes.
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(FILE_INFO) == 64 && offsetof(FILE_INFO, name) == 4 &&
              offsetof(FILE_INFO, frame_n) == 32 && offsetof(FILE_INFO, reserve) == 48);
static_assert(sizeof(FILTER_PROC_INFO) == 104 && offsetof(FILTER_PROC_INFO, ycp_edit) == 4 &&
              offsetof(FILTER_PROC_INFO, ycp_temp) == 8 && offsetof(FILTER_PROC_INFO, w) == 12 &&
              offsetof(FILTER_PROC_INFO, max_w) == 20 && offsetof(FILTER_PROC_INFO, frame) == 28 &&
              offsetof(FILTER_PROC_INFO, frame_n) == 32 &&
              offsetof(FILTER_PROC_INFO, editp) == 60 &&
              offsetof(FILTER_PROC_INFO, line_size) == 68 &&
              offsetof(FILTER_PROC_INFO, reserve) == 72);
static_assert(sizeof(FILTER) == 140 && offsetof(FILTER, name) == 12 &&
              offsetof(FILTER, track_n) == 16 && offsetof(FILTER, check_n) == 36 &&
              offsetof(FILTER, func_proc) == 48 && offsetof(FILTER, func_WndProc) == 64 &&
              offsetof(FILTER, track) == 68 && offsetof(FILTER, check) == 72 &&
              offsetof(FILTER, information) == 84 && offsetof(FILTER, exfunc) == 96 &&
              offsetof(FILTER, hwnd) == 100 && offsetof(FILTER, dll_hinst) == 104 &&
              offsetof(FILTER, dll_path) == 128);
static_assert(offsetof(EXFUNC, set_frame_n) == 40 && offsetof(EXFUNC, get_file_info) == 92 &&
              offsetof(EXFUNC, set_ycp_filtering_cache_size) == 176 &&
              offsetof(EXFUNC, get_ycp_filtering_cache_ex) == 200);
#endif
}
