// The desktop of a system without one the plug-in can use: boxes go to
// standard error.
#include <cstdio>

#include "platform/aviutl.h"
#include "platform/desktop.h"

namespace platform {
namespace {

// There is nobody to answer: report the box on standard error, where a user
// running a batch job will see it, and take the default.
int stderr_message_box(void*, const char* text, const char* caption, unsigned kind) {
    std::fprintf(stderr, "[%s] %s\n", caption, text);
    return (kind & 0xF) == MB_YESNO ? IDYES : IDOK;
}

void* no_window(const char*) { return nullptr; }

void no_message(void*, unsigned, std::uintptr_t, std::intptr_t) {}

}  // namespace

const DesktopServices& system_desktop() {
    static const DesktopServices console = {stderr_message_box, no_window, no_message};
    return console;
}

}  // namespace platform
