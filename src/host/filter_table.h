// The filter table handed to the editor and the callbacks it drives.
#pragma once

#include "platform/aviutl.h"

// The plug-in's single export: the filter table, the same record every time.
extern "C" QUORVEL_EXPORT FILTER_DLL* QUORVEL_STDCALL GetFilterTable();

// For host programs that want other limits on what a script may spend (see
// ScriptLimits): a timeout per frame in seconds and a memory cap in bytes,
// 0 for none, and the sandbox for untrusted scripts.
extern "C" QUORVEL_EXPORT void QuorvelSetScriptLimits(double frame_timeout_seconds,
                                                      unsigned long long memory_bytes, int sandbox);

// For host programs that show the script's messages themselves: `listener`
// hears each text the plug-in logs to lua_err.txt, whole (a message of
// several lines at once), also when the log cannot be written.  Null stops
// it.  It is called on the thread that runs the frame.
extern "C" QUORVEL_EXPORT void QuorvelSetLogListener(void (*listener)(const char* text));

// The editor's main-window messages (window_proc.cpp): a click on the
// preview shows the colour information of the clicked pixel.
BOOL window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, void* editp, FILTER* fp);
