// Clocks, files, paths and the environment on Windows.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/system.h"

namespace platform {

namespace {

bool is_separator(char c) { return c == '\\' || c == '/'; }

// The full path with one kind of separator and no trailing one, for
// comparing (without regard to case, as Windows compares names).
bool full_path(const std::string& path, std::string* out) {
    char buffer[MAX_PATH * 4];
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
    if (n == 0 || n >= sizeof buffer) return false;
    out->assign(buffer, n);
    for (char& c : *out)
        if (c == '/') c = '\\';
    while (out->size() > 3 && out->back() == '\\') out->pop_back();
    return true;
}

}  // namespace

std::int32_t tick_count() { return static_cast<std::int32_t>(GetTickCount()); }

std::int64_t clock_seconds() { return static_cast<std::int64_t>(_time64(nullptr)); }

FileCheck file_write_time(const std::string& path, std::int64_t* time) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return FileCheck::missing;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return FileCheck::not_regular;
    // No sharing: a file another program holds open (an editor still
    // writing it) is looked at again later.
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FileCheck::missing;
    FILETIME written{};
    const bool disk = GetFileType(file) == FILE_TYPE_DISK;
    const bool ok = disk && GetFileTime(file, nullptr, nullptr, &written) != 0;
    CloseHandle(file);
    if (!disk) return FileCheck::not_regular;
    if (!ok) return FileCheck::missing;
    // 100-nanosecond steps since 1601, as nanoseconds since 1970.
    const std::int64_t ticks = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime);
    *time = (ticks - 116444736000000000LL) * 100;
    return FileCheck::ok;
}

bool path_is_below(const std::string& path, const std::string& folder) {
    std::string base, full;
    if (folder.empty() || !full_path(folder, &base) || !full_path(path, &full)) return false;
    if (base.back() != '\\') base += '\\';
    const std::size_t cut = full.find_last_of('\\');
    const std::string name = cut == std::string::npos ? full : full.substr(cut + 1);
    if (name.empty() || name == "." || name == "..") return false;
    return full.size() > base.size() &&
           CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, full.c_str(),
                          static_cast<int>(base.size()), base.c_str(),
                          static_cast<int>(base.size())) == CSTR_EQUAL;
}

unsigned file_link_count(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return 1;
    HANDLE file =
        CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    return known ? static_cast<unsigned>(info.nNumberOfLinks) : 1;
}

std::uint64_t physical_memory() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) return 0;
    // A 32-bit process can use its address space at most, whatever the
    // machine has.
    return std::min<std::uint64_t>(status.ullTotalPhys, status.ullTotalVirtual);
}

std::int64_t monotonic_ms() { return static_cast<std::int64_t>(GetTickCount64()); }

void remove_file(const std::string& path) { std::remove(path.c_str()); }

bool script_runtime_available() {
    // Loaded once it is found; until then looked for again on each call, so
    // that copying lua.dll in while the editor runs is enough.
    static bool found = false;
    if (!found) found = LoadLibraryA("lua.dll") != nullptr;
    return found;
}

std::string module_path() {
    static const int anchor = 0;
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCSTR>(&anchor), &module))
        return {};
    char path[4096] = {};
    const DWORD n = GetModuleFileNameA(module, path, sizeof path - 1);
    return std::string(path, n);
}

std::string remove_file_spec(const std::string& path) {
    std::size_t cut = path.size();
    while (cut > 0 && !is_separator(path[cut - 1])) --cut;
    if (cut == 0) {
        // "C:file" keeps its drive.
        return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : std::string();
    }
    const std::size_t separator = cut - 1;
    // A root keeps its separator: "\file" -> "\", "C:\file" -> "C:\".
    if (separator == 0 || (separator == 2 && path[1] == ':')) return path.substr(0, separator + 1);
    return path.substr(0, separator);
}

std::string add_separator(const std::string& path) {
    if (!path.empty() && is_separator(path.back())) return path;
    return path + kPathSeparator;
}

const char* get_env(const char* name) { return std::getenv(name); }

void set_env(const char* name, const std::string& value) {
    // _putenv changes the C runtime's copy and the process's own, which is
    // the one LoadLibrary searches.
    const std::string assignment = std::string(name) + "=" + value;
    _putenv(assignment.c_str());
}

}  // namespace platform
