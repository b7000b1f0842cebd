#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "host/host_os.h"

namespace host_os {

namespace {

std::size_t last_separator(const std::string& path) { return path.find_last_of("\\/"); }

std::string system_message(DWORD code) {
    char text[512] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, text, sizeof text, nullptr);
    std::string message(text, n);
    while (!message.empty() &&
           (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(code) : message;
}

}  // namespace

const char kSeparator = '\\';

void binary_standard_streams() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
}

std::string absolute_path(const std::string& path) {
    char full[MAX_PATH * 4];
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    if (n == 0 || n >= sizeof full) return path;
    std::string result(full, n);
    while (result.size() > 3 && (result.back() == '\\' || result.back() == '/')) result.pop_back();
    return result;
}

std::string folder_of(const std::string& path) {
    const std::size_t cut = last_separator(path);
    if (cut == std::string::npos) return ".";
    // A root keeps its separator: "\x" -> "\", "C:\x" -> "C:\".
    if (cut == 0 || (cut == 2 && path[1] == ':')) return path.substr(0, cut + 1);
    return path.substr(0, cut);
}

std::string base_name(const std::string& path) {
    const std::size_t cut = last_separator(path);
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string program_path() {
    char self[MAX_PATH * 4] = {};
    const DWORD n = GetModuleFileNameA(nullptr, self, sizeof self - 1);
    return std::string(self, n);
}

std::string program_folder() {
    const std::string self = program_path();
    return self.empty() ? "." : folder_of(self);
}

bool is_regular_file(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Named pipes ("\\.\pipe\name") and devices ("CON", "NUL") are streams.
bool is_stream_file(const std::string& path) {
    const HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const DWORD type = GetFileType(file);
    CloseHandle(file);
    return type == FILE_TYPE_PIPE || type == FILE_TYPE_CHAR;
}

bool folder_can_be_entered(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::uint64_t physical_memory() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) return 0;
    // A 32-bit program is held to its address space.
    return status.ullTotalPhys < status.ullTotalVirtual ? status.ullTotalPhys
                                                        : status.ullTotalVirtual;
}

MemoryCeiling default_memory_cap(std::uint64_t) {
    MemoryCeiling cap;
    if (const std::uint64_t memory = physical_memory()) {
        cap.bytes = memory / 2;
        cap.source =
            "half the memory this program can use (" + std::to_string(memory >> 20) + " MiB)";
    }
    return cap;
}

std::FILE* take_standard_input() {
    static bool taken = false;
    if (taken) return nullptr;
    taken = true;
    const int fd = _dup(_fileno(stdin));
    std::FILE* stream = fd >= 0 ? _fdopen(fd, "rb") : nullptr;
    if (stream == nullptr && fd >= 0) _close(fd);
    detach_standard_input();
    return stream;
}

void detach_standard_input() {
    static bool detached = false;
    if (detached) return;
    detached = true;
    const int null = _open("NUL", _O_RDONLY | _O_BINARY);
    if (null < 0) return;
    _dup2(null, _fileno(stdin));
    _close(null);
    std::clearerr(stdin);
}

// The console's Ctrl+C ends the program as before.
void watch_stop_signals(std::function<void()>) {}
bool stop_requested() { return false; }
const char* stop_signal_name() { return ""; }

bool stderr_is_terminal() { return _isatty(_fileno(stderr)) != 0; }
bool stdin_is_terminal() { return _isatty(_fileno(stdin)) != 0; }

// Windows has no SIGPIPE: a closed pipe already makes writes fail.
void ignore_broken_pipe() {}

std::FILE* take_standard_output() {
    const int video_fd = _dup(_fileno(stdout));
    std::FILE* stream = video_fd >= 0 ? _fdopen(video_fd, "wb") : nullptr;
    if (stream == nullptr || _dup2(_fileno(stderr), _fileno(stdout)) < 0) return nullptr;
    return stream;
}

std::FILE* create_temporary_beside(const std::string& path, std::string* temp, std::string* error) {
    const std::size_t cut = last_separator(path);
    const std::string dir = cut == std::string::npos ? "" : path.substr(0, cut + 1);
    const std::string base = cut == std::string::npos ? path : path.substr(cut + 1);
    // A name not taken yet, made by this process alone (CREATE_NEW).
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string name = dir + "." + base + ".part-" +
                                 std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(GetTickCount() + attempt);
        const HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS) continue;
            *error = "cannot write " + path + ": " + system_message(GetLastError());
            return nullptr;
        }
        const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(file), _O_BINARY);
        std::FILE* stream = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
        if (stream == nullptr) {
            if (fd >= 0)
                _close(fd);
            else
                CloseHandle(file);
            DeleteFileA(name.c_str());
            *error = "cannot write " + path + ": " + std::strerror(errno);
            return nullptr;
        }
        *temp = name;
        return stream;
    }
    *error = "cannot write " + path + ": no free temporary name beside it";
    return nullptr;
}

bool replace_file(const std::string& from, const std::string& to) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    errno = EACCES;
    return false;
}

void* load_library(const std::string& path, std::string* error) {
    // The plug-in's folder is searched for its own libraries as well.
    HMODULE library = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (library == nullptr) *error = system_message(GetLastError());
    return reinterpret_cast<void*>(library);
}

void* library_symbol(void* library, const char* name) {
    FARPROC address = GetProcAddress(static_cast<HMODULE>(library), name);
    void* symbol;
    static_assert(sizeof symbol == sizeof address);
    std::memcpy(&symbol, &address, sizeof symbol);
    return symbol;
}

void unload_library(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

}  // namespace host_os
