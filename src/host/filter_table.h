// The filter table handed to the editor and the callbacks it drives.
#pragma once

#include "platform/aviutl.h"

// The plug-in's single export: the filter table, the same record every time.
extern "C" __attribute__((visibility("default"))) FILTER_DLL* GetFilterTable();

// The editor's main-window messages (window_proc.cpp): a click on the
// preview shows the colour information of the clicked pixel.
BOOL window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, void* editp, FILTER* fp);
