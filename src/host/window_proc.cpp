// The editor forwards its main window's messages here.  Messages are not
// acted on yet; the editor is told never to redraw because of them.
#include "platform/aviutl.h"

BOOL window_proc(HWND, UINT, WPARAM, LPARAM, void*, FILTER*) { return FALSE; }
