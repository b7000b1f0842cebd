// The desktop: message boxes and top-level windows.
//
// The process that loads the plug-in may register a DesktopServices table
// through the plug-in's export QuorvelSetDesktop() (the host program answers
// boxes on the console).  Until one is registered the system's desktop
// serves: on Windows its message boxes and windows; elsewhere boxes are
// written to standard error and answered with OK (or Yes), and no window is
// ever found.
#pragma once

#include <cstdint>

#include "platform/export.h"

extern "C" {

struct DesktopServices {
    // Shows a box; `kind` holds the MB_* bits.  Returns IDOK, IDYES or IDNO.
    int (*message_box)(void* owner, const char* text, const char* caption, unsigned kind);
    // A top-level window whose title is exactly `title`, or null.
    void* (*find_window)(const char* title);
    // Sends a window message and waits until it has been handled.
    void (*send_message)(void* window, unsigned message, std::uintptr_t wparam,
                         std::intptr_t lparam);
};

typedef void (*SetDesktopFn)(const DesktopServices*);

// The plug-in's export that installs the desktop (see set_desktop below).
QUORVEL_EXPORT void QuorvelSetDesktop(const DesktopServices* services);
}

namespace platform {

// The system's own desktop (desktop_console.cpp, desktop_win32.cpp).
const DesktopServices& system_desktop();

// Installs the process's desktop; null restores the system's.
void set_desktop(const DesktopServices* services);

int message_box(void* owner, const char* text, const char* caption, unsigned kind);
void* find_window(const char* title);
void send_message(void* window, unsigned message, std::uintptr_t wparam, std::intptr_t lparam);

}  // namespace platform
