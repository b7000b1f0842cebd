#include "platform/system.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

namespace platform {

std::int32_t tick_count() {
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    const std::uint64_t ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                             static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
    // The counter is 32 bits wide and read as signed: keep the low 32 bits.
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(ms));
}

std::int64_t clock_seconds() { return static_cast<std::int64_t>(::time(nullptr)); }

FileCheck file_write_time(const std::string& path, std::int64_t* time) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return FileCheck::missing;
    if (!S_ISREG(st.st_mode)) return FileCheck::not_regular;
    // Non-blocking, in case the path was replaced by a FIFO since the stat.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return FileCheck::missing;
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    if (!regular) return FileCheck::not_regular;
    *time = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return FileCheck::ok;
}

bool path_is_below(const std::string& path, const std::string& folder) {
    char resolved[PATH_MAX];
    if (::realpath(folder.c_str(), resolved) == nullptr) return false;
    std::string base = add_separator(resolved);
    std::string full;
    if (::realpath(path.c_str(), resolved) != nullptr) {
        full = resolved;
    } else {
        const std::size_t slash = path.find_last_of(kPathSeparator);
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        const std::string parent = slash == std::string::npos ? "." : path.substr(0, slash + 1);
        if (name.empty() || name == "." || name == "..") return false;
        if (::realpath(parent.c_str(), resolved) == nullptr) return false;
        full = add_separator(resolved) + name;
    }
    return full.size() > base.size() && full.compare(0, base.size(), base) == 0;
}

unsigned file_link_count(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return 0;
    return S_ISREG(st.st_mode) ? static_cast<unsigned>(st.st_nlink) : 1;
}

std::uint64_t physical_memory() {
    const long pages = ::sysconf(_SC_PHYS_PAGES), size = ::sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || size <= 0) return 0;
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(size);
}

std::int64_t monotonic_ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void remove_file(const std::string& path) { std::remove(path.c_str()); }

// Lua is linked in.
bool script_runtime_available() { return true; }

std::string module_path() {
    Dl_info info{};
    static const int anchor = 0;
    if (dladdr(&anchor, &info) == 0 || info.dli_fname == nullptr) return {};
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved) != nullptr) return resolved;
    return info.dli_fname;
}

std::string remove_file_spec(const std::string& path) {
    const std::size_t slash = path.find_last_of(kPathSeparator);
    if (slash == std::string::npos) return {};
    if (slash == 0) return path.substr(0, 1);
    return path.substr(0, slash);
}

std::string add_separator(const std::string& path) {
    if (!path.empty() && path.back() == kPathSeparator) return path;
    return path + kPathSeparator;
}

const char* get_env(const char* name) { return std::getenv(name); }

void set_env(const char* name, const std::string& value) { ::setenv(name, value.c_str(), 1); }

}  // namespace platform
