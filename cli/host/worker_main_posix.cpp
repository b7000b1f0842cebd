// The worker's side of the plug-in worker (see plugin_worker.h): the host
// program started as `quorvel --plugin-worker SOCKET MEMORY PARENT`.  It
// loads the plug-in, sets it up as the host's begin() would, and then
// serves the host's calls one at a time; the editor's services the plug-in
// asks for go to the host as requests.  It ends with the host: at `end`,
// when the host's socket closes, or when the host's process ends.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/host_os.h"
#include "host/worker_main.h"
#include "host/worker_protocol.h"
#include "platform/desktop.h"

namespace {

using worker::Kind;

typedef void (*SetLimitsFn)(double, unsigned long long, int);
typedef void (*ShareDeadlineFn)(void*);
typedef void (*SetLogListenerFn)(void (*)(const char*));

struct Worker {
    int socket = -1;
    SetLimitsFn set_limits = nullptr;
    unsigned char* memory = nullptr;
    worker::BeginSettings settings{};
    std::string edited_file;
    FILTER filter{};
    EXFUNC exfunc{};
    FILTER_PROC_INFO fpip{};
    std::vector<int> tracks, checks;
    int frame_n = 0;
    PIXEL_YC *edit = nullptr, *temp = nullptr, *transfer = nullptr;
    std::vector<unsigned char> packet = std::vector<unsigned char>(worker::kMaxPacket);
};

Worker state;

bool send_packet(const worker::Header& header, const void* payload, std::size_t size) {
    std::vector<unsigned char> bytes(sizeof header + size);
    worker::Header h = header;
    h.size = static_cast<std::uint32_t>(size);
    std::memcpy(bytes.data(), &h, sizeof h);
    if (size > 0) std::memcpy(bytes.data() + sizeof h, payload, size);
    return send(state.socket, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
}

// Reads the next packet; the host gone ends the worker.
worker::Header receive(std::size_t* size) {
    const ssize_t n = recv(state.socket, state.packet.data(), state.packet.size(), 0);
    if (n < static_cast<ssize_t>(sizeof(worker::Header))) _exit(0);
    worker::Header h;
    std::memcpy(&h, state.packet.data(), sizeof h);
    *size = static_cast<std::size_t>(n) - sizeof h;
    return h;
}

const unsigned char* payload() { return state.packet.data() + sizeof(worker::Header); }

// A request to the host, and its answer.
int ask(Kind kind, int a, int b, int c, int d, const std::string& text = {}) {
    worker::Header h{};
    h.kind = kind;
    h.a = a, h.b = b, h.c = c, h.d = d;
    if (!send_packet(h, text.data(), text.size())) _exit(0);
    std::size_t size = 0;
    const worker::Header answer = receive(&size);
    if (answer.kind != Kind::answer) _exit(3);
    return answer.a;
}

void tell(Kind kind, int a) {
    worker::Header h{};
    h.kind = kind;
    h.a = a;
    if (!send_packet(h, nullptr, 0)) _exit(0);
}

// The editor's services, as the plug-in reaches them.
BOOL service_set_frame_n(void*, int n) {
    if (n < 0) return FALSE;
    state.frame_n = n;
    tell(Kind::set_frame_n, n);
    return TRUE;
}

BOOL service_get_file_info(void*, FILE_INFO* fi) {
    if (fi == nullptr) return FALSE;
    *fi = FILE_INFO{};
    fi->name = state.edited_file.c_str();
    fi->w = state.settings.org_w;
    fi->h = state.settings.org_h;
    fi->video_rate = state.settings.rate_num;
    fi->video_scale = state.settings.rate_den;
    fi->frame_n = state.frame_n;
    return TRUE;
}

BOOL service_set_cache_size(void*, int, int, int d, int) {
    tell(Kind::cache_size, d);
    return TRUE;
}

void* service_get_cached_frame(void*, void*, int n, int* w, int* h) {
    if (ask(Kind::get_frame, n, 0, 0, 0) == 0) return nullptr;
    if (w) *w = state.fpip.w;
    if (h) *h = state.fpip.h;
    return state.transfer;
}

int desktop_message_box(void*, const char* text, const char* caption, unsigned kind) {
    std::string both = std::string(caption ? caption : "") + '\0' + (text ? text : "");
    if (both.size() > worker::kMaxPayload) both.resize(worker::kMaxPayload);
    return ask(Kind::message_box, static_cast<int>(kind), 0, 0, 0, both);
}

void* desktop_find_window(const char* title) {
    // A token, not a window: the host keeps the window itself.
    static int token = 0;
    token = ask(Kind::find_window, 0, 0, 0, 0, title ? title : "");
    return token != 0 ? &token : nullptr;
}

void desktop_send_message(void* window, unsigned message, std::uintptr_t wparam,
                          std::intptr_t lparam) {
    if (window == nullptr) return;
    ask(Kind::send_message, *static_cast<int*>(window), static_cast<int>(message),
        static_cast<int>(wparam), static_cast<int>(lparam));
}

// Lines the plug-in logs go to the host's listener too.
void forward_log_line(const char* text) {
    worker::Header h{};
    h.kind = Kind::log_line;
    const std::size_t size = std::min(std::strlen(text), worker::kMaxPayload);
    if (!send_packet(h, text, size)) _exit(0);
}

const DesktopServices forwarding_desktop = {desktop_message_box, desktop_find_window,
                                            desktop_send_message};

void answer_done(BOOL result) {
    worker::Header h{};
    h.kind = Kind::done;
    h.a = result ? 1 : 0;
    h.b = state.fpip.ycp_edit == state.temp ? 1 : 0;
    h.c = state.fpip.w;
    h.d = state.fpip.h;
    if (!send_packet(h, nullptr, 0)) _exit(0);
}

// The tracks and checks at the start of a payload.
void read_settings(const unsigned char* bytes, std::size_t size) {
    const std::size_t need = (state.tracks.size() + state.checks.size()) * sizeof(int);
    if (size < need) return;
    std::memcpy(state.tracks.data(), bytes, state.tracks.size() * sizeof(int));
    std::memcpy(state.checks.data(), bytes + state.tracks.size() * sizeof(int),
                state.checks.size() * sizeof(int));
}

// The begin call: the shared memory, the plug-in and its settings.
bool begin(int memory_fd, std::string* why) {
    std::size_t size = 0;
    const worker::Header h = receive(&size);
    if (h.kind != Kind::begin || size < sizeof(worker::BeginSettings)) {
        *why = "the host did not begin";
        return false;
    }
    std::memcpy(&state.settings, payload(), sizeof state.settings);
    const worker::BeginSettings& b = state.settings;
    const std::size_t lists = static_cast<std::size_t>(b.track_n + b.check_n) * sizeof(int);
    if (b.track_n < 0 || b.check_n < 0 || size < sizeof b + lists) {
        *why = "a malformed begin";
        return false;
    }
    state.tracks.assign(static_cast<std::size_t>(b.track_n), 0);
    state.checks.assign(static_cast<std::size_t>(b.check_n), 0);
    read_settings(payload() + sizeof b, size - sizeof b);
    const char* names = reinterpret_cast<const char*>(payload()) + sizeof b + lists;
    const std::size_t names_size = size - sizeof b - lists;
    state.edited_file.assign(names, strnlen(names, names_size));
    const std::size_t after = state.edited_file.size() + 1;
    const std::string plugin_path =
        after < names_size ? std::string(names + after, strnlen(names + after, names_size - after))
                           : std::string();
    state.frame_n = b.frame_n;

    const worker::SharedLayout layout(b.max_w, b.max_h);
    void* mapped = mmap(nullptr, layout.total, PROT_READ | PROT_WRITE, MAP_SHARED, memory_fd, 0);
    if (mapped == MAP_FAILED) {
        *why = std::string("cannot map the frames: ") + std::strerror(errno);
        return false;
    }
    state.memory = static_cast<unsigned char*>(mapped);
    state.edit = reinterpret_cast<PIXEL_YC*>(state.memory + layout.edit);
    state.temp = reinterpret_cast<PIXEL_YC*>(state.memory + layout.temp);
    state.transfer = reinterpret_cast<PIXEL_YC*>(state.memory + layout.transfer);

    void* library = host_os::load_library(plugin_path, why);
    if (library == nullptr) return false;
    auto get_table =
        reinterpret_cast<GetFilterTableFn>(host_os::library_symbol(library, "GetFilterTable"));
    auto set_limits =
        reinterpret_cast<SetLimitsFn>(host_os::library_symbol(library, "QuorvelSetScriptLimits"));
    auto share_deadline =
        reinterpret_cast<ShareDeadlineFn>(host_os::library_symbol(library, "QuorvelShareDeadline"));
    auto set_desktop =
        reinterpret_cast<SetDesktopFn>(host_os::library_symbol(library, "QuorvelSetDesktop"));
    if (get_table == nullptr || set_limits == nullptr || share_deadline == nullptr) {
        *why = plugin_path + " cannot run in a worker (an export is missing)";
        return false;
    }
    share_deadline(state.memory);
    set_limits(b.frame_timeout_seconds, b.memory_bytes, b.sandbox);
    state.set_limits = set_limits;
    if (set_desktop != nullptr) set_desktop(&forwarding_desktop);
    if (auto set_listener = reinterpret_cast<SetLogListenerFn>(
            host_os::library_symbol(library, "QuorvelSetLogListener")))
        set_listener(forward_log_line);

    state.filter = *get_table();
    state.exfunc.set_frame_n = service_set_frame_n;
    state.exfunc.get_file_info = service_get_file_info;
    state.exfunc.set_ycp_filtering_cache_size = service_set_cache_size;
    state.exfunc.get_ycp_filtering_cache_ex = service_get_cached_frame;
    state.filter.track = state.tracks.data();
    state.filter.check = state.checks.data();
    state.filter.exfunc = &state.exfunc;
    FILTER_PROC_INFO& f = state.fpip;
    f.max_w = b.max_w;
    f.max_h = b.max_h;
    f.org_w = b.org_w;
    f.org_h = b.org_h;
    f.editp = &state;
    f.yc_size = sizeof(PIXEL_YC);
    f.line_size = static_cast<int>(b.max_w * sizeof(PIXEL_YC));
    f.ycp_edit = state.edit;
    f.ycp_temp = state.temp;
    if (state.filter.func_update) state.filter.func_update(&state.filter, 0);
    return true;
}

void process(const worker::Header& h) {
    FILTER_PROC_INFO& f = state.fpip;
    f.ycp_edit = state.edit;
    f.ycp_temp = state.temp;
    f.frame = h.a;
    f.frame_n = state.frame_n = h.b;
    f.w = h.c;
    f.h = h.d;
    answer_done(state.filter.func_proc != nullptr && state.filter.func_proc(&state.filter, &f));
}

void press(const worker::Header& h) {
    if (state.filter.func_WndProc != nullptr) {
        const LPARAM position =
            static_cast<LPARAM>((static_cast<std::uint32_t>(h.b & 0xFFFF) << 16) |
                                static_cast<std::uint32_t>(h.a & 0xFFFF));
        state.filter.func_WndProc(nullptr, WM_FILTER_MAIN_MOUSE_DOWN, 0, position, &state.fpip,
                                  &state.filter);
    }
    answer_done(FALSE);
}

}  // namespace

int run_plugin_worker(int argc, char** argv) {
    if (argc != 5) return 2;
    // The worker does not outlive the host.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != std::atoi(argv[4])) return 0;
    state.socket = std::atoi(argv[2]);
    const int memory_fd = std::atoi(argv[3]);
    // Programs a script starts do not inherit the host's socket or frames.
    fcntl(state.socket, F_SETFD, FD_CLOEXEC);
    fcntl(memory_fd, F_SETFD, FD_CLOEXEC);
    std::string why;
    if (!begin(memory_fd, &why)) {
        std::fprintf(stderr, "quorvel: %s\n", why.c_str());
        return 4;
    }
    answer_done(TRUE);
    for (;;) {
        std::size_t size = 0;
        const worker::Header h = receive(&size);
        switch (h.kind) {
            case Kind::process:
                process(h);
                break;
            case Kind::settings:
                read_settings(payload(), size);
                if (state.filter.func_update) state.filter.func_update(&state.filter, 0);
                answer_done(TRUE);
                break;
            case Kind::press:
                read_settings(payload(), size);
                press(h);
                break;
            case Kind::limits: {
                worker::Limits limits{};
                if (size >= sizeof limits) std::memcpy(&limits, payload(), sizeof limits);
                state.set_limits(limits.frame_timeout_seconds, limits.memory_bytes,
                                 limits.sandbox);
                answer_done(TRUE);
                break;
            }
            case Kind::end:
                if (state.filter.func_exit) state.filter.func_exit(&state.filter);
                answer_done(TRUE);
                std::fflush(nullptr);
                _exit(0);
            default:
                return 3;
        }
    }
}
