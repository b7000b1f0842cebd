// What the host program and its plug-in worker process (plugin_worker.h)
// say to each other, and the shared memory they both map.
//
// One message is one packet of a SOCK_SEQPACKET socket pair: a fixed header
// and up to kMaxPayload bytes.  The host sends a call (begin, process,
// settings, press, end) and reads until the worker answers it with `done`;
// in between the worker may ask for the editor's services (another frame, a
// message box, a window), each answered at once, or tell it something
// (the frame count, the cache size), which needs no answer.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/aviutl.h"

namespace worker {

enum class Kind : std::uint32_t {
    // host -> worker
    begin = 1,  // payload: BeginSettings, then the edited file's name
    process,    // a: frame, b: frame count, c: w, d: h; payload: the tracks and checks
    settings,   // payload: the tracks and checks
    press,      // a: x, b: y; payload: the tracks and checks
    limits,     // payload: Limits
    end,
    // worker -> host, answers
    done,  // a: the call's result, b: 1 when the output is the temp buffer, c: w, d: h
    // worker -> host, requests (answered with `answer`)
    get_frame,     // a: frame number; answer a: 1 when the frame is in the transfer buffer
    message_box,   // a: kind (MB_*); payload: caption, 0, text
    find_window,   // payload: title; answer a: a window token, 0 for none
    send_message,  // a: window token, b: message, c: wparam, d: lparam
    // worker -> host, notes (no answer)
    set_frame_n,  // a: n
    cache_size,   // a: frames
    log_line,     // payload: a line the plug-in logged (when it lets a host listen)
    // host -> worker
    answer,  // a: the answer
};

struct Header {
    Kind kind;
    std::int32_t a, b, c, d;
    std::uint32_t size;  // payload bytes after the header
};

constexpr std::size_t kMaxPayload = 64 * 1024;
constexpr std::size_t kMaxPacket = sizeof(Header) + kMaxPayload;

// What a script may spend.
struct Limits {
    double frame_timeout_seconds;
    std::uint64_t memory_bytes;
    int sandbox;
};

// What the worker needs to set up the plug-in as the host would.
struct BeginSettings {
    int max_w, max_h;
    int org_w, org_h;  // the input's picture size
    int frame_n;
    int rate_num, rate_den;
    int source_frames;  // -1 when not known
    double frame_timeout_seconds;
    std::uint64_t memory_bytes;
    int sandbox;
    int track_n, check_n;  // followed (in the payload) by the edited file's name
};

// The start of the shared memory: the worker's current frame deadline
// (monotonic milliseconds, 0 for none), which the plug-in keeps up to date,
// so that the host can tell a worker that ran past its budget.
struct SharedControl {
    std::atomic<std::int64_t> deadline;
};
#ifndef _WIN32  // no worker there
static_assert(std::atomic<std::int64_t>::is_always_lock_free,
              "the deadline is shared between processes");
#endif

// The shared memory: the control page, then three frame buffers of
// max_w x max_h pixels, each starting on a page: the editor's edit and temp
// buffers and the transfer buffer for frames the script asks for.
struct SharedLayout {
    std::size_t frame_bytes = 0;  // one buffer, rounded up to a page
    std::size_t total = 0;
    std::size_t edit = 0, temp = 0, transfer = 0;  // offsets

    SharedLayout(int max_w, int max_h) {
        constexpr std::size_t page = 4096;
        const std::size_t bytes = static_cast<std::size_t>(max_w) * max_h * sizeof(PIXEL_YC);
        frame_bytes = (bytes + page - 1) / page * page;
        edit = page;
        temp = edit + frame_bytes;
        transfer = temp + frame_bytes;
        total = transfer + frame_bytes;
    }
};

// The command line option that makes the host program a worker; it is
// followed by the socket's and the shared memory's descriptor numbers.
constexpr const char* kWorkerOption = "--plugin-worker";

}  // namespace worker
