#include "platform/desktop.h"

namespace platform {
namespace {

const DesktopServices* current = &system_desktop();

}  // namespace

void set_desktop(const DesktopServices* services) {
    current = services ? services : &system_desktop();
}

int message_box(void* owner, const char* text, const char* caption, unsigned kind) {
    return current->message_box(owner, text, caption, kind);
}

void* find_window(const char* title) { return current->find_window(title); }

void send_message(void* window, unsigned message, std::uintptr_t wparam, std::intptr_t lparam) {
    current->send_message(window, message, wparam, lparam);
}

}  // namespace platform

extern "C" QUORVEL_EXPORT void QuorvelSetDesktop(const DesktopServices* services) {
    platform::set_desktop(services);
}
