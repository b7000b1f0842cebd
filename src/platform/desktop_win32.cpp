// The Windows desktop: the system's message boxes and top-level windows.
#include <windows.h>

#include "platform/desktop.h"
#include "platform/wide_text_win32.h"

namespace platform {
namespace {

// The box belongs to `owner` (null: none) and shows `kind`'s buttons, icon
// and MB_TOPMOST as asked; the answer is the system's IDOK, IDYES or IDNO.
int windows_message_box(void* owner, const char* text, const char* caption, unsigned kind) {
    return MessageBoxW(static_cast<HWND>(owner), to_wide(text).c_str(), to_wide(caption).c_str(),
                       kind);
}

// A top-level window whose title is exactly `title` (any class).
void* windows_find_window(const char* title) {
    return FindWindowExW(nullptr, nullptr, nullptr, to_wide(title).c_str());
}

void windows_send_message(void* window, unsigned message, std::uintptr_t wparam,
                          std::intptr_t lparam) {
    SendMessageW(static_cast<HWND>(window), message, static_cast<WPARAM>(wparam),
                 static_cast<LPARAM>(lparam));
}

}  // namespace

const DesktopServices& system_desktop() {
    static const DesktopServices windows = {windows_message_box, windows_find_window,
                                            windows_send_message};
    return windows;
}

}  // namespace platform
