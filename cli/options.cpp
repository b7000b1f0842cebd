#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

std::string usage_text(const FILTER* table) {
    const std::string variables = table != nullptr ? variables_help(*table) : "";
    std::string text =
        "usage: quorvel run [--input SRC] [--output DST] [--script-dir DIR] [--frames N]\n"
        "                   [--max WxH] [--script-no N] [--threads N] [--display N]\n"
        "                   [--var NAME=VALUE]... [--answer yes|no|ok] [--click X,Y]... [--strict]\n"
        "\n"
        "  SRC  blank:WxH | pattern:WxH | FILE.y4m        (default pattern:640x360)\n"
        "  DST  FILE.y4m | - (Y4M on standard output) | NAME.png | NAME_%05d.png\n"
        "  The script is filter.lua (or filterN.lua for --script-no N) in the script folder;\n"
        "  its errors are written to lua_err.txt there and shown after the run.\n";
    text += variables.empty() ? "  --var sets one of the script's variables.\n" : "  --var sets " + variables + ".\n";
    return text;
}

bool parse_int(const std::string& text, int* value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || errno != 0 || v < -2147483647L || v > 2147483647L) return false;
    *value = static_cast<int>(v);
    return true;
}

namespace {

bool parse_pair(const std::string& text, char separator, int* a, int* b) {
    const std::size_t at = text.find(separator);
    if (at == std::string::npos) return false;
    return parse_int(text.substr(0, at), a) && parse_int(text.substr(at + 1), b);
}

// A track option, checked against the table's tracks when there is one.
bool set_track(const FILTER* table, const TrackSetting& setting, Options* o, std::string* error) {
    return table == nullptr || apply_track_setting(*table, setting, &o->tracks, error);
}

}  // namespace

bool parse_options(int argc, char** argv, const FILTER* table, Options* o, std::string* error, bool* help) {
    *help = false;
    if (table != nullptr) o->tracks = default_tracks(*table);
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
            if (!set_track(table, {arg.substr(2), value, false}, o, error)) return false;
        } else if (arg == "--var") {
            const std::size_t eq = value.find('=');
            if (eq == std::string::npos) {
                *error = "--var must be NAME=VALUE (got \"" + value + "\")";
                return false;
            }
            if (!set_track(table, {value.substr(0, eq), value.substr(eq + 1), true}, o, error)) return false;
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
