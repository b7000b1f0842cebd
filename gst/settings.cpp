#include "settings.h"

#include <cstdio>
#include <cstdlib>

#include "edit.h"

bool parse_frame_size(const std::string& text, int* w, int* h) {
    int consumed = 0, a = 0, b = 0;
    if (std::sscanf(text.c_str(), "%dx%d%n", &a, &b, &consumed) != 2 ||
        consumed != static_cast<int>(text.size()) || a < 1 || b < 1 || a > 16384 || b > 16384)
        return false;
    *w = a, *h = b;
    return true;
}

std::string resolve_script_dir(const std::string& script_dir) {
    std::string dir = script_dir.empty() ? "." : script_dir;
    if (dir[0] == '~' && (dir.size() == 1 || dir[1] == '/')) {
        const char* home = std::getenv("HOME");
        if (home != nullptr && *home != '\0') dir = home + dir.substr(1);
    }
    return absolute(dir);
}
