// The host's side of the plug-in worker (see plugin_worker.h).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "host/plugin_host.h"
#include "host/plugin_worker.h"
#include "host/worker_protocol.h"

extern char** environ;

struct PluginWorker::Message {
    worker::Header header{};
    std::string payload;
};

namespace {

using worker::Kind;

std::int64_t now_ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool send_packet(int fd, const worker::Header& header, const std::string& payload) {
    std::string packet(sizeof header + payload.size(), '\0');
    worker::Header h = header;
    h.size = static_cast<std::uint32_t>(payload.size());
    std::memcpy(packet.data(), &h, sizeof h);
    std::memcpy(packet.data() + sizeof h, payload.data(), payload.size());
    return send(fd, packet.data(), packet.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(packet.size());
}

std::string int_bytes(const std::vector<int>& values) {
    return std::string(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(int));
}

std::string tracks_and_checks(const std::vector<int>& tracks, const std::vector<int>& checks) {
    return int_bytes(tracks) + int_bytes(checks);
}

// A descriptor moved above the ones the worker is given (3 and 4), so that
// the spawn's dup2 never meets itself.
int moved_up(int fd) {
    const int high = fcntl(fd, F_DUPFD_CLOEXEC, 10);
    close(fd);
    return high;
}

std::string describe_status(int status) {
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        const char* name = strsignal(signal);
        return "killed by signal " + std::to_string(signal) +
               (name ? std::string(" (") + name + ")" : "");
    }
    if (WIFEXITED(status)) return "exited with status " + std::to_string(WEXITSTATUS(status));
    return "ended";
}

}  // namespace

PluginWorker::PluginWorker(PluginHost& host, std::string program)
    : host_(host), program_(std::move(program)), packet_(worker::kMaxPacket) {}

PluginWorker::~PluginWorker() {
    end();
    release_memory();
}

bool PluginWorker::available(const std::string& program, std::string* why) {
    if (access(program.c_str(), X_OK) != 0) {
        *why = "cannot run the plug-in's worker " + program + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

PIXEL_YC* PluginWorker::edit_buffer() const {
    return reinterpret_cast<PIXEL_YC*>(memory_ +
                                       worker::SharedLayout(setup_.max_w, setup_.max_h).edit);
}

PIXEL_YC* PluginWorker::temp_buffer() const {
    return reinterpret_cast<PIXEL_YC*>(memory_ +
                                       worker::SharedLayout(setup_.max_w, setup_.max_h).temp);
}

void PluginWorker::release_memory() {
    if (memory_ != nullptr) munmap(memory_, memory_size_);
    if (memory_fd_ >= 0) close(memory_fd_);
    memory_ = nullptr;
    memory_fd_ = -1;
}

PluginWorker::Result PluginWorker::begin(const Setup& setup, const std::vector<int>& tracks,
                                         const std::vector<int>& checks,
                                         const DesktopServices* desktop) {
    end();
    release_memory();
    setup_ = setup;
    desktop_ = desktop;
    Result result;
    const worker::SharedLayout layout(setup.max_w, setup.max_h);
    memory_fd_ = memfd_create("quorvel-frames", MFD_CLOEXEC);
    if (memory_fd_ < 0 || ftruncate(memory_fd_, static_cast<off_t>(layout.total)) != 0) {
        result.ended =
            std::string("cannot make shared memory for the frames: ") + std::strerror(errno);
        release_memory();
        return result;
    }
    void* mapped = mmap(nullptr, layout.total, PROT_READ | PROT_WRITE, MAP_SHARED, memory_fd_, 0);
    if (mapped == MAP_FAILED) {
        result.ended =
            std::string("cannot map shared memory for the frames: ") + std::strerror(errno);
        release_memory();
        return result;
    }
    memory_ = static_cast<unsigned char*>(mapped);
    memory_size_ = layout.total;
    new (memory_) worker::SharedControl{};
    std::string why;
    if (!spawn(tracks, checks, &why)) result.ended = why;
    return result;
}

// Starts a worker and has it begin the filter.
bool PluginWorker::spawn(const std::vector<int>& tracks, const std::vector<int>& checks,
                         std::string* why) {
    if (memory_ == nullptr) {
        *why = "no shared memory for the frames";
        return false;
    }
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
        *why = std::string("cannot make the worker's socket: ") + std::strerror(errno);
        return false;
    }
    const int mine = pair[0], theirs = moved_up(pair[1]);
    const int memory = fcntl(memory_fd_, F_DUPFD_CLOEXEC, 10);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, theirs, 3);
    posix_spawn_file_actions_adddup2(&actions, memory, 4);
    // Its own process group: a Ctrl+C at the terminal goes to the host,
    // which ends the worker itself.  Signals blocked or caught here are
    // the worker's defaults again.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const std::string parent = std::to_string(getpid());
    char* argv[] = {const_cast<char*>(program_.c_str()),
                    const_cast<char*>(worker::kWorkerOption),
                    const_cast<char*>("3"),
                    const_cast<char*>("4"),
                    const_cast<char*>(parent.c_str()),
                    nullptr};
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, program_.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(theirs);
    close(memory);
    if (failed != 0) {
        close(mine);
        *why = "cannot start the plug-in's worker " + program_ + ": " + std::strerror(failed);
        return false;
    }
    socket_ = mine;
    pid_.store(pid);
    // The deadline a former worker left there is not this one's.
    reinterpret_cast<worker::SharedControl*>(memory_)->deadline.store(0);
    if (interrupted_) {
        *why = stop("stopped by the host");
        return false;
    }
    worker::BeginSettings b{};
    b.max_w = setup_.max_w, b.max_h = setup_.max_h;
    b.org_w = setup_.org_w, b.org_h = setup_.org_h;
    b.frame_n = host_.frame_n();
    b.rate_num = setup_.rate_num, b.rate_den = setup_.rate_den;
    b.source_frames = setup_.source_frames;
    b.frame_timeout_seconds = setup_.frame_timeout_seconds;
    b.memory_bytes = setup_.memory_bytes;
    b.sandbox = setup_.sandbox ? 1 : 0;
    b.track_n = static_cast<int>(tracks.size());
    b.check_n = static_cast<int>(checks.size());
    Message request;
    request.header.kind = Kind::begin;
    request.payload = std::string(reinterpret_cast<const char*>(&b), sizeof b) +
                      tracks_and_checks(tracks, checks) + setup_.edited_file + '\0' +
                      setup_.plugin_path + '\0';
    if (request.payload.size() > worker::kMaxPayload) {
        *why = stop("the edit's settings do not fit a message");
        return false;
    }
    // Its start (loading the plug-in, the script's main chunk at the first
    // frame) is bounded like a frame.
    const Result begun = call(request, tracks, checks);
    if (!begun.ended.empty()) {
        *why = begun.ended;
        return false;
    }
    return true;
}

// Sends a call (starting a worker first when there is none) and waits for
// its answer.
PluginWorker::Result PluginWorker::call(const Message& request, const std::vector<int>& tracks,
                                        const std::vector<int>& checks) {
    Result result;
    if (interrupted_) {
        result.ended = "stopped by the host";
        return result;
    }
    if (pid_.load() < 0 && request.header.kind != Kind::begin) {
        std::string why;
        if (!spawn(tracks, checks, &why)) {
            result.ended = why;
            return result;
        }
    }
    if (!send_packet(socket_, request.header, request.payload)) {
        result.ended = stop("");
        return result;
    }
    // A new worker's start (the program and the plug-in loading) has no
    // deadline of its own; it gets half a minute on a busy machine.
    return wait_for_answer(request.header.kind == Kind::begin ? 30000 : 0);
}

// Reads until the worker answers, serving its requests meanwhile.  A
// worker past its frame's deadline by the grace period is stopped; so is
// one whose call has lasted three budgets and the grace (a reload and a
// frame each have a budget, and closing the old state a third), or at
// least `least_ms`, without a deadline to go by.
PluginWorker::Result PluginWorker::wait_for_answer(std::int64_t least_ms) {
    const std::int64_t started = now_ms();
    Result result;
    const double timeout = setup_.frame_timeout_seconds;
    const auto grace = static_cast<std::int64_t>(1000 * std::max(1.0, timeout / 2));
    const auto* control = reinterpret_cast<const worker::SharedControl*>(memory_);
    for (;;) {
        pollfd p{socket_, POLLIN, 0};
        const int ready = poll(&p, 1, 50);
        if (interrupted_) {
            result.ended = stop("stopped by the host");
            return result;
        }
        if (ready > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t n = recv(socket_, packet_.data(), packet_.size(), 0);
            if (n < static_cast<ssize_t>(sizeof(worker::Header))) {
                result.ended = stop("");
                return result;
            }
            Message m;
            std::memcpy(&m.header, packet_.data(), sizeof m.header);
            m.payload.assign(reinterpret_cast<const char*>(packet_.data()) + sizeof m.header,
                             static_cast<std::size_t>(n) - sizeof m.header);
            if (m.header.kind == Kind::done) {
                result.ok = m.header.a != 0;
                result.output_is_temp = m.header.b != 0;
                result.w = m.header.c;
                result.h = m.header.d;
                return result;
            }
            if (!serve(m)) {
                result.ended = stop("");
                return result;
            }
            continue;
        }
        if (timeout <= 0) continue;
        const std::int64_t now = now_ms(), deadline = control->deadline.load();
        const auto budget = static_cast<std::int64_t>(timeout * 1000);
        if ((deadline != 0 && now > deadline + grace) ||
            now > started + std::max(3 * budget + grace, least_ms)) {
            char text[160];
            std::snprintf(text, sizeof text,
                          "it ran past the frame's time budget (%g s) by more than %g s and was "
                          "stopped",
                          timeout, static_cast<double>(grace) / 1000);
            result.ended = stop(text);
            return result;
        }
    }
}

// Answers one request of the worker; false when the answer cannot be sent.
bool PluginWorker::serve(const Message& request) {
    worker::Header answer{};
    answer.kind = Kind::answer;
    const worker::Header& h = request.header;
    switch (h.kind) {
        case Kind::set_frame_n:
            host_.set_frame_n(h.a);
            return true;
        case Kind::cache_size:
            host_.set_cache_size(h.a);
            return true;
        case Kind::log_line:
            host_.heard_log_line(request.payload.c_str());
            return true;
        case Kind::get_frame: {
            const PIXEL_YC* pixels = host_.cached_frame(h.a);
            if (pixels != nullptr) {
                const worker::SharedLayout layout(setup_.max_w, setup_.max_h);
                std::memcpy(
                    memory_ + layout.transfer, pixels,
                    static_cast<std::size_t>(setup_.max_w) * setup_.max_h * sizeof(PIXEL_YC));
            }
            answer.a = pixels != nullptr ? 1 : 0;
            break;
        }
        case Kind::message_box: {
            const std::string& p = request.payload;
            const std::size_t zero = p.find('\0');
            const std::string caption = p.substr(0, zero);
            const std::string text = zero == std::string::npos ? "" : p.substr(zero + 1);
            answer.a = desktop_ != nullptr
                           ? desktop_->message_box(nullptr, text.c_str(), caption.c_str(),
                                                   static_cast<unsigned>(h.a))
                           : IDOK;
            break;
        }
        case Kind::find_window: {
            void* window =
                desktop_ != nullptr ? desktop_->find_window(request.payload.c_str()) : nullptr;
            // The worker gets a token for the window: the host's one window
            // at a time (the colour box) needs no table.
            answer.a = window != nullptr ? 1 : 0;
            found_window_ = window;
            break;
        }
        case Kind::send_message:
            if (desktop_ != nullptr && h.a == 1 && found_window_ != nullptr)
                desktop_->send_message(found_window_, static_cast<unsigned>(h.b),
                                       static_cast<std::uintptr_t>(static_cast<std::uint32_t>(h.c)),
                                       h.d);
            break;
        default:
            return false;  // not a request: the worker is confused
    }
    return send_packet(socket_, answer, {});
}

PluginWorker::Result PluginWorker::process(int frame, int frame_n, int w, int h,
                                           const std::vector<int>& tracks,
                                           const std::vector<int>& checks) {
    Message m;
    m.header.kind = Kind::process;
    m.header.a = frame, m.header.b = frame_n, m.header.c = w, m.header.d = h;
    return call(m, tracks, checks);
}

PluginWorker::Result PluginWorker::settings(const std::vector<int>& tracks,
                                            const std::vector<int>& checks) {
    Message m;
    m.header.kind = Kind::settings;
    m.payload = tracks_and_checks(tracks, checks);
    return call(m, tracks, checks);
}

PluginWorker::Result PluginWorker::press(int x, int y, const std::vector<int>& tracks,
                                         const std::vector<int>& checks) {
    Message m;
    m.header.kind = Kind::press;
    m.header.a = x, m.header.b = y;
    m.payload = tracks_and_checks(tracks, checks);
    return call(m, tracks, checks);
}

PluginWorker::Result PluginWorker::set_limits(double frame_timeout_seconds,
                                              std::uint64_t memory_bytes, bool sandbox,
                                              const std::vector<int>& tracks,
                                              const std::vector<int>& checks) {
    setup_.frame_timeout_seconds = frame_timeout_seconds;
    setup_.memory_bytes = memory_bytes;
    setup_.sandbox = sandbox;
    if (pid_.load() < 0) return {};  // a new worker starts with them
    const worker::Limits limits{frame_timeout_seconds, memory_bytes, sandbox ? 1 : 0};
    Message m;
    m.header.kind = Kind::limits;
    m.payload.assign(reinterpret_cast<const char*>(&limits), sizeof limits);
    return call(m, tracks, checks);
}

void PluginWorker::end() {
    if (pid_.load() < 0) return;
    worker::Header h{};
    h.kind = Kind::end;
    if (!interrupted_ && send_packet(socket_, h, {})) {
        // It leaves at once after answering.
        if (!wait_for_answer(0).ended.empty()) return;  // stopped already
    }
    stop(interrupted_ ? "stopped by the host" : "");
}

void PluginWorker::interrupt() {
    interrupted_ = true;
    const int pid = pid_.load();
    if (pid > 0) kill(pid, SIGKILL);
}

// Ends the worker and says why it ended: `reason` (it is killed), or else
// how its process ended (it is given a moment to end by itself).
std::string PluginWorker::stop(const std::string& reason) {
    const int pid = pid_.exchange(-1);
    if (socket_ >= 0) close(socket_);
    socket_ = -1;
    if (pid <= 0) return reason;
    int status = 0;
    if (reason.empty()) {
        for (int waited = 0; waited < 1000; waited += 10) {
            if (waitpid(pid, &status, WNOHANG) == pid) return describe_status(status);
            usleep(10000);
        }
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return reason.empty() ? "it stopped answering and was ended" : reason;
}
