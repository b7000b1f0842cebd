#include "host/startup.h"

#include <string>

#include "platform/system.h"

namespace host {

void library_startup() {
    const std::string folder = platform::remove_file_spec(platform::module_path());
    const char* path = platform::get_env("PATH");
    std::string value = path != nullptr ? path : "";
    // With no PATH at all the folder alone becomes the PATH.
    if (path != nullptr) value += platform::kPathListSeparator;
    value += folder;
    platform::set_env("PATH", value);
}

}  // namespace host
