#include "plugin_table.h"

#include <atomic>
#include <memory>

#include "host/host_os.h"
#include "host/plugin_host.h"

namespace {

// Loaded for the life of the process, as GStreamer keeps the element's
// library: the table's captions and ranges live in the plug-in.
PluginHost* table_host = nullptr;
std::string plugin_path;
std::atomic<const void*> plugin_owner{nullptr};

}  // namespace

bool load_plugin_table(const std::string& element_library, std::string* error) {
    if (table_host != nullptr) return true;
    plugin_path = host_os::folder_of(element_library) + "/quorvel.auf";
    auto host = std::make_unique<PluginHost>();
    if (!host->load(plugin_path, error)) {
        *error = plugin_path + ": " + *error;
        return false;
    }
    table_host = host.release();
    return true;
}

const FILTER& plugin_table() { return table_host->table(); }
const std::string& plugin_file() { return plugin_path; }

bool claim_plugin(const void* element) {
    const void* none = nullptr;
    return plugin_owner.compare_exchange_strong(none, element) || none == element;
}

void release_plugin(const void* element) {
    const void* mine = element;
    plugin_owner.compare_exchange_strong(mine, nullptr);
}
