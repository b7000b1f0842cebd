// The plug-in in a process of its own, the last wall around a script
// nobody vetted: the host program starts itself as a worker
// (worker_main_posix.cpp), which loads the plug-in and drives it as the
// editor would, while the frames stay in shared memory that both map.  If
// the worker crashes, or runs past its frame's budget by a grace period
// that no check inside it stopped, the host kills it, reports why, and
// starts a new one at the next call (the script starts again from its main
// chunk).
//
// PluginHost uses it when told to (use_worker_process); its callers see no
// difference but the extra process.  Linux only: the Windows build says it
// cannot.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/aviutl.h"
#include "platform/desktop.h"

class PluginHost;

class PluginWorker {
public:
    // What the worker is told when it starts, besides the tracks and checks.
    struct Setup {
        std::string plugin_path;
        std::string edited_file;
        int max_w = 0, max_h = 0;
        int org_w = 0, org_h = 0;
        int rate_num = 0, rate_den = 0;
        int source_frames = -1;
        double frame_timeout_seconds = 0;
        std::uint64_t memory_bytes = 0;
        bool sandbox = false;
    };

    // How a call went.  `ended` is empty while the worker lives; otherwise
    // it says why its process ended ("killed by signal 11 (Segmentation
    // fault)", ...), and the call did not complete.
    struct Result {
        bool ok = false;
        bool output_is_temp = false;  // the plug-in swapped the two buffers
        int w = 0, h = 0;
        std::string ended;
    };

    // `program` is the host program (started with worker::kWorkerOption);
    // `host` serves the worker's requests for frames and the frame count.
    PluginWorker(PluginHost& host, std::string program);
    ~PluginWorker();
    PluginWorker(const PluginWorker&) = delete;
    PluginWorker& operator=(const PluginWorker&) = delete;

    // Whether this system can run a worker; false with the reason.
    static bool available(const std::string& program, std::string* why);

    // Makes the shared frame buffers for the edit (kept across workers)
    // and starts a worker, which begins the filter (its func_update).
    Result begin(const Setup& setup, const std::vector<int>& tracks, const std::vector<int>& checks,
                 const DesktopServices* desktop);
    PIXEL_YC* edit_buffer() const;
    PIXEL_YC* temp_buffer() const;

    // The calls into the plug-in.  A worker that ended is started again
    // first (with the tracks and checks given).
    Result process(int frame, int frame_n, int w, int h, const std::vector<int>& tracks,
                   const std::vector<int>& checks);
    Result settings(const std::vector<int>& tracks, const std::vector<int>& checks);
    Result press(int x, int y, const std::vector<int>& tracks, const std::vector<int>& checks);
    // New limits for the script (the sandbox takes effect at its next load).
    Result set_limits(double frame_timeout_seconds, std::uint64_t memory_bytes, bool sandbox,
                      const std::vector<int>& tracks, const std::vector<int>& checks);
    // Ends the filter (func_exit) and the worker, killing it when it does
    // not end within its budget.
    void end();

    // From any thread: ends the call in progress (and any later one) by
    // killing the worker.
    void interrupt();

private:
    struct Message;
    bool spawn(const std::vector<int>& tracks, const std::vector<int>& checks, std::string* why);
    Result call(const Message& request, const std::vector<int>& tracks,
                const std::vector<int>& checks);
    Result wait_for_answer(std::int64_t least_ms);
    bool serve(const Message& request);
    std::string stop(const std::string& reason);
    void release_memory();

    PluginHost& host_;
    const std::string program_;
    Setup setup_;
    const DesktopServices* desktop_ = nullptr;
    int socket_ = -1;
    int memory_fd_ = -1;
    unsigned char* memory_ = nullptr;
    std::size_t memory_size_ = 0;
    std::atomic<int> pid_{-1};
    std::atomic<bool> interrupted_{false};
    void* found_window_ = nullptr;  // the window the worker's token stands for
    std::vector<unsigned char> packet_;
};
