#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "host/host_os.h"

namespace host_os {

const char kSeparator = '/';

void binary_standard_streams() {}

std::string absolute_path(const std::string& path) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) != nullptr) return resolved;
    return path;
}

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_name(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string program_path() {
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return {};
    return std::string(self, static_cast<std::size_t>(n));
}

std::string program_folder() {
    const std::string self = program_path();
    return self.empty() ? "." : folder_of(self);
}

bool is_regular_file(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool is_stream_file(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode));
}

bool folder_can_be_entered(const std::string& path) { return access(path.c_str(), X_OK) == 0; }

std::uint64_t physical_memory() {
    const long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGE_SIZE);
    return pages > 0 && page > 0
               ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page)
               : 0;
}

namespace {

std::string mebibytes(std::uint64_t bytes) { return std::to_string(bytes >> 20) + " MiB"; }

// Fields of /proc/self/statm in bytes: [0] the address space, [5] data.
std::uint64_t mapped_bytes(int field) {
    std::ifstream statm("/proc/self/statm");
    std::uint64_t value = 0;
    for (int i = 0; i <= field && (statm >> value); ++i) {
    }
    return statm ? value * static_cast<std::uint64_t>(sysconf(_SC_PAGE_SIZE)) : 0;
}

// The memory.max of this process's cgroup (version 2, or the version 1
// memory controller's limit); 0 for none.
std::uint64_t cgroup_memory_max() {
    std::ifstream groups("/proc/self/cgroup");
    for (std::string line; std::getline(groups, line);) {
        // "0::/path" (version 2) or "N:memory:/path" (version 1).
        const std::size_t first = line.find(':'), second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos) continue;
        const std::string controllers = line.substr(first + 1, second - first - 1);
        const std::string path = line.substr(second + 1);
        std::string file;
        if (controllers.empty())
            file = "/sys/fs/cgroup" + path + "/memory.max";
        else if (controllers == "memory" || controllers.find("memory,") != std::string::npos ||
                 controllers.find(",memory") != std::string::npos)
            file = "/sys/fs/cgroup/memory" + path + "/memory.limit_in_bytes";
        else
            continue;
        std::ifstream limit(file);
        std::string text;
        if (!(limit >> text) || text == "max") continue;
        const std::uint64_t bytes = std::strtoull(text.c_str(), nullptr, 10);
        // Version 1 says "no limit" with a number near 2^63.
        if (bytes > 0 && bytes < (1ULL << 62)) return bytes;
    }
    return 0;
}

}  // namespace

MemoryCeiling default_memory_cap(std::uint64_t reserved) {
    MemoryCeiling cap;
    const auto consider = [&](std::uint64_t bytes, const std::string& source) {
        if (bytes != 0 && (cap.bytes == 0 || bytes < cap.bytes)) {
            cap.bytes = bytes;
            cap.source = source;
        }
    };
    const auto less = [](std::uint64_t limit, std::uint64_t used) {
        return limit > used ? limit - used : 1;  // nothing left: 1 byte, not "no cap"
    };
    if (const std::uint64_t memory = physical_memory())
        consider(memory / 2, "half the physical memory (" + mebibytes(memory) + ")");
    const auto limit_of = [](int resource) -> std::uint64_t {
        rlimit limit{};
        if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 0;
        return static_cast<std::uint64_t>(limit.rlim_cur);
    };
    const std::string frames = " less " + mebibytes(reserved) + " for the frames";
    if (const std::uint64_t as = limit_of(RLIMIT_AS)) {
        const std::uint64_t mapped = mapped_bytes(0);
        consider(less(as, mapped + reserved), "the address-space limit (ulimit -v, " +
                                                  mebibytes(as) + ") less " + mebibytes(mapped) +
                                                  " mapped" + frames);
    }
    if (const std::uint64_t data = limit_of(RLIMIT_DATA)) {
        const std::uint64_t used = mapped_bytes(5);
        consider(less(data, used + reserved), "the data limit (ulimit -d, " + mebibytes(data) +
                                                  ") less " + mebibytes(used) + " in use" + frames);
    }
    if (const std::uint64_t max = cgroup_memory_max())
        consider(less(max, reserved), "the cgroup's memory.max (" + mebibytes(max) + ")" + frames);
    return cap;
}

std::FILE* take_standard_input() {
    static bool taken = false;
    if (taken) return nullptr;
    taken = true;
    const int fd = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
    std::FILE* stream = fd >= 0 ? fdopen(fd, "rb") : nullptr;
    if (stream == nullptr && fd >= 0) close(fd);
    detach_standard_input();
    return stream;
}

void detach_standard_input() {
    static bool detached = false;
    if (detached) return;
    detached = true;
    const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (null < 0) return;
    dup2(null, STDIN_FILENO);
    close(null);
    std::clearerr(stdin);
}

bool stderr_is_terminal() { return isatty(STDERR_FILENO) != 0; }
bool stdin_is_terminal() { return isatty(STDIN_FILENO) != 0; }

void ignore_broken_pipe() { std::signal(SIGPIPE, SIG_IGN); }

std::FILE* take_standard_output() {
    // Not handed to programs started later (the plug-in's worker, a
    // script's), which must not hold the video's pipe open.
    const int video_fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    std::FILE* stream = video_fd >= 0 ? fdopen(video_fd, "wb") : nullptr;
    if (stream == nullptr || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) return nullptr;
    return stream;
}

namespace {

// Temporary files made and not yet renamed, removed if the program must end
// at once.
std::mutex temporaries_mutex;
std::vector<std::string> temporaries;

void remember_temporary(const std::string& path) {
    std::lock_guard<std::mutex> lock(temporaries_mutex);
    temporaries.push_back(path);
}

void forget_temporary(const std::string& path) {
    std::lock_guard<std::mutex> lock(temporaries_mutex);
    temporaries.erase(std::remove(temporaries.begin(), temporaries.end(), path), temporaries.end());
}

std::atomic<int> stop_signal{0};

}  // namespace

void watch_stop_signals(std::function<void()> on_stop) {
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGINT);
    sigaddset(&ending, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &ending, nullptr);
    std::thread([ending, on_stop = std::move(on_stop)] {
        int signal = 0;
        if (sigwait(&ending, &signal) != 0) return;
        stop_signal = signal;
        if (on_stop) on_stop();
        std::this_thread::sleep_for(std::chrono::milliseconds(900));
        // Still running: the script holds the frame in this process.
        {
            std::lock_guard<std::mutex> lock(temporaries_mutex);
            for (const std::string& path : temporaries) unlink(path.c_str());
        }
        const char text[] =
            "quorvel: stopped by a signal while the script ran; the output was not kept\n";
        [[maybe_unused]] const ssize_t n = write(STDERR_FILENO, text, sizeof text - 1);
        _exit(128 + signal);
    }).detach();
}

bool stop_requested() { return stop_signal.load() != 0; }

const char* stop_signal_name() {
    const int signal = stop_signal.load();
    return signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "";
}

std::FILE* create_temporary_beside(const std::string& path, std::string* temp, std::string* error) {
    const std::size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string pattern = dir + "." + base + ".part-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    *temp = pattern;
    remember_temporary(pattern);
    // mkstemp makes the file private; the output gets the usual permissions.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    std::FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        close(fd);
        unlink(pattern.c_str());
        temp->clear();
    }
    return file;
}

bool replace_file(const std::string& from, const std::string& to) {
    forget_temporary(from);
    return std::rename(from.c_str(), to.c_str()) == 0;
}

void* load_library(const std::string& path, std::string* error) {
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) *error = dlerror();
    return library;
}

void* library_symbol(void* library, const char* name) { return dlsym(library, name); }

void unload_library(void* library) { dlclose(library); }

}  // namespace host_os
