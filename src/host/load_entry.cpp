// The library's entry point: runs once when the plug-in is loaded into a
// process, like a Windows DLL's process-attach notification.
#include "host/startup.h"

namespace {

__attribute__((constructor)) void on_library_load() { host::library_startup(); }

}  // namespace
