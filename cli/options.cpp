#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

const char* const kUsage =
    "usage: quorvel run [--input SRC] [--output DST] [--script-dir DIR] [--frames N]\n"
    "                   [--max WxH] [--script-no N] [--threads N] [--display N]\n"
    "                   [--var NAME=VALUE]... [--answer yes|no|ok] [--click X,Y]... [--strict]\n"
    "\n"
    "  SRC  blank:WxH | pattern:WxH | FILE.y4m        (default pattern:640x360)\n"
    "  DST  FILE.y4m | - (Y4M on standard output) | NAME.png | NAME_%05d.png\n"
    "  The script is filter.lua (or filterN.lua for --script-no N) in the script folder;\n"
    "  its errors are written to lua_err.txt there and shown after the run.\n"
    "  --var sets a, b, c, d, u, v, x, y or z (0..4096).\n";

namespace {

struct TrackInfo {
    const char* name;  // how the option names the track
    int index, min, max;
    const char* track;  // the track's own caption
};

const TrackInfo kTracks[] = {
    {"script-no", 0, 0, 10, "ｽｸﾘﾌﾟﾄ№"}, {"threads", 1, 1, 16, "スレッド数"},
    {"display", 2, 0, 19, "表示Buf"},    {"a", 3, 0, 4096, "変数a"},
    {"b", 4, 0, 4096, "変数b"},          {"c", 5, 0, 4096, "変数c"},
    {"d", 6, 0, 4096, "変数d"},          {"u", 7, 0, 4096, "変数u"},
    {"v", 8, 0, 4096, "変数v"},          {"x", 9, 0, 4096, "変数x"},
    {"y", 10, 0, 4096, "変数y"},         {"z", 11, 0, 4096, "変数z"},
};

bool parse_int(const std::string& text, int* value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || errno != 0 || v < -2147483647L || v > 2147483647L) return false;
    *value = static_cast<int>(v);
    return true;
}

bool parse_pair(const std::string& text, char separator, int* a, int* b) {
    const std::size_t at = text.find(separator);
    if (at == std::string::npos) return false;
    return parse_int(text.substr(0, at), a) && parse_int(text.substr(at + 1), b);
}

bool set_track(Options* o, const char* name, const std::string& value, std::string* error) {
    for (const TrackInfo& t : kTracks) {
        if (std::strcmp(t.name, name) != 0) continue;
        int v = 0;
        if (!parse_int(value, &v) || v < t.min || v > t.max) {
            const bool is_var = t.index >= 3;
            *error = std::string(is_var ? "--var " : "--") + name + " (track " + std::to_string(t.index) +
                     " \"" + t.track + "\") must be an integer from " + std::to_string(t.min) + " to " +
                     std::to_string(t.max) + " (got \"" + value + "\")";
            return false;
        }
        o->tracks[t.index] = v;
        return true;
    }
    *error = std::string("unknown variable \"") + name + "\" (use a, b, c, d, u, v, x, y or z)";
    return false;
}

}  // namespace

bool parse_options(int argc, char** argv, Options* o, std::string* error, bool* help) {
    *help = false;
    if (argc < 1 || std::strcmp(argv[0], "run") != 0) {
        if (argc >= 1 && (std::strcmp(argv[0], "--help") == 0 || std::strcmp(argv[0], "-h") == 0)) {
            *help = true;
            return true;
        }
        *error = argc < 1 ? "missing command" : std::string("unknown command \"") + argv[0] + "\"";
        return false;
    }
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            *help = true;
            return true;
        }
        if (arg == "--strict") {
            o->strict = true;
            continue;
        }
        if (i + 1 >= argc) {
            *error = arg.rfind("--", 0) == 0 ? arg + " needs a value" : "unexpected argument \"" + arg + "\"";
            return false;
        }
        const std::string value = argv[++i];
        if (arg == "--input") {
            o->input = value;
        } else if (arg == "--output") {
            o->output = value;
        } else if (arg == "--script-dir") {
            o->script_dir = value;
        } else if (arg == "--frames") {
            if (!parse_int(value, &o->frames) || o->frames < 0) {
                *error = "--frames must be a whole number of frames (got \"" + value + "\")";
                return false;
            }
        } else if (arg == "--max") {
            if (!parse_pair(value, 'x', &o->max_w, &o->max_h) || o->max_w < 1 || o->max_h < 1) {
                *error = "--max must be WxH, for example 1920x1080 (got \"" + value + "\")";
                return false;
            }
        } else if (arg == "--script-no" || arg == "--threads" || arg == "--display") {
            if (!set_track(o, arg.c_str() + 2, value, error)) return false;
        } else if (arg == "--var") {
            const std::size_t eq = value.find('=');
            if (eq == std::string::npos) {
                *error = "--var must be NAME=VALUE (got \"" + value + "\")";
                return false;
            }
            const std::string name = value.substr(0, eq);
            if (name.size() != 1 || std::strchr("abcduvxyz", name[0]) == nullptr) {
                *error = "unknown variable \"" + name + "\" (use a, b, c, d, u, v, x, y or z)";
                return false;
            }
            if (!set_track(o, name.c_str(), value.substr(eq + 1), error)) return false;
        } else if (arg == "--answer") {
            if (value != "yes" && value != "no" && value != "ok") {
                *error = "--answer must be yes, no or ok (got \"" + value + "\")";
                return false;
            }
            o->answer = value;
        } else if (arg == "--click") {
            int x = 0, y = 0;
            if (!parse_pair(value, ',', &x, &y)) {
                *error = "--click must be X,Y (got \"" + value + "\")";
                return false;
            }
            o->clicks.emplace_back(x, y);
        } else {
            *error = "unknown option \"" + arg + "\"";
            return false;
        }
    }
    return true;
}
