// The preview page (web/), built into the program so that it works
// wherever the binary is copied, like the function reference.
#pragma once

#include <string>
#include <string_view>

struct WebAsset {
    const char* path;  // as the page asks for it: "/preview.js"
    const char* type;  // its content type
    std::string_view body;
};

// The asset at `path` ("/" is the page itself), or null.
const WebAsset* find_web_asset(const std::string& path);
