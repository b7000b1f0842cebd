// The library's entry point on Windows: on process attach the plug-in's
// folder is appended to PATH (library_startup); nothing else is done here,
// as little as possible runs under the loader's lock.
#include <windows.h>

#include "host/startup.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID);

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) host::library_startup();
    return TRUE;
}
