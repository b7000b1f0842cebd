#include "platform/desktop.h"

#include <cstdio>

#include "platform/aviutl.h"

namespace platform {
namespace {

// Without a desktop there is nobody to answer: report the box on standard
// error, where a user running a batch job will see it, and take the default.
int stderr_message_box(void*, const char* text, const char* caption, unsigned kind) {
    std::fprintf(stderr, "[%s] %s\n", caption, text);
    return (kind & 0xF) == MB_YESNO ? IDYES : IDOK;
}

void* no_window(const char*) { return nullptr; }

void no_message(void*, unsigned, std::uintptr_t, std::intptr_t) {}

const DesktopServices default_desktop = {stderr_message_box, no_window, no_message};
const DesktopServices* current = &default_desktop;

}  // namespace

void set_desktop(const DesktopServices* services) {
    current = services ? services : &default_desktop;
}

int message_box(void* owner, const char* text, const char* caption, unsigned kind) {
    return current->message_box(owner, text, caption, kind);
}

void* find_window(const char* title) { return current->find_window(title); }

void send_message(void* window, unsigned message, std::uintptr_t wparam, std::intptr_t lparam) {
    current->send_message(window, message, wparam, lparam);
}

}  // namespace platform

extern "C" __attribute__((visibility("default"))) void QuorvelSetDesktop(
    const DesktopServices* services) {
    platform::set_desktop(services);
}
