// Windows has no plug-in worker: the plug-in runs in the host's process,
// defended by its own guards (see plugin_worker.h).
#include "host/plugin_worker.h"
#include "host/worker_main.h"

PluginWorker::PluginWorker(PluginHost& host, std::string program)
    : host_(host), program_(std::move(program)) {}

PluginWorker::~PluginWorker() = default;

// No message: running in this process is all the Windows build does.
bool PluginWorker::available(const std::string&, std::string* why) {
    why->clear();
    return false;
}

PluginWorker::Result PluginWorker::begin(const Setup&, const std::vector<int>&,
                                         const std::vector<int>&, const DesktopServices*) {
    Result r;
    r.ended = "no worker on Windows";
    return r;
}

PIXEL_YC* PluginWorker::edit_buffer() const { return nullptr; }
PIXEL_YC* PluginWorker::temp_buffer() const { return nullptr; }

PluginWorker::Result PluginWorker::process(int, int, int, int, const std::vector<int>&,
                                           const std::vector<int>&) {
    return begin({}, {}, {}, nullptr);
}

PluginWorker::Result PluginWorker::settings(const std::vector<int>&, const std::vector<int>&) {
    return begin({}, {}, {}, nullptr);
}

PluginWorker::Result PluginWorker::press(int, int, const std::vector<int>&,
                                         const std::vector<int>&) {
    return begin({}, {}, {}, nullptr);
}

PluginWorker::Result PluginWorker::set_limits(double, std::uint64_t, bool,
                                              const std::vector<int>&, const std::vector<int>&) {
    return begin({}, {}, {}, nullptr);
}

void PluginWorker::end() {}
void PluginWorker::interrupt() {}

int run_plugin_worker(int, char**) { return 2; }
