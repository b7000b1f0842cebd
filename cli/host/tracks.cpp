#include "host/tracks.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

// The options that name a track by its caption.  The variables are the
// tracks captioned "変数" followed by the variable's name.
struct NamedTrack {
    const char* option;
    const char* caption;
};
const NamedTrack kNamedTracks[] = {
    {"script-no", "ｽｸﾘﾌﾟﾄ№"},
    {"threads", "スレッド数"},
    {"display", "表示Buf"},
};
const char* const kVariablePrefix = "変数";
const char* const kColorInfoCaption = "クリックで色情報の表示";

int find_track(const FILTER& table, const std::string& caption) {
    if (table.track_name == nullptr) return -1;
    for (int i = 0; i < table.track_n; ++i)
        if (table.track_name[i] != nullptr && caption == table.track_name[i]) return i;
    return -1;
}

// The variables the table has, in its order: the captions after the prefix.
std::vector<std::string> variable_names(const FILTER& table) {
    std::vector<std::string> names;
    const std::size_t prefix = std::strlen(kVariablePrefix);
    for (int i = 0; table.track_name != nullptr && i < table.track_n; ++i) {
        const char* caption = table.track_name[i];
        if (caption != nullptr && std::strncmp(caption, kVariablePrefix, prefix) == 0)
            names.emplace_back(caption + prefix);
    }
    return names;
}

// "a, b or c".
std::string one_of(const std::vector<std::string>& names) {
    std::string list;
    for (std::size_t k = 0; k < names.size(); ++k)
        list += (k == 0 ? "" : k + 1 == names.size() ? " or " : ", ") + names[k];
    return list;
}

std::string variable_list(const FILTER& table) {
    const std::vector<std::string> names = variable_names(table);
    return names.empty() ? "the plug-in has no variables" : "use " + one_of(names);
}

const char* caption_of(const TrackSetting& setting) {
    for (const NamedTrack& t : kNamedTracks)
        if (setting.option == t.option) return t.caption;
    return nullptr;
}

int lower_bound_of(const FILTER& table, int index) {
    return table.track_s ? table.track_s[index] : INT_MIN;
}
int upper_bound_of(const FILTER& table, int index) {
    return table.track_e ? table.track_e[index] : INT_MAX;
}

}  // namespace

std::string variables_help(const FILTER& table) {
    const std::vector<std::string> names = variable_names(table);
    if (names.empty()) return "";
    std::string help = one_of(names);
    // One range for all of them is worth saying; several are left to the errors.
    const int first = find_track(table, kVariablePrefix + names[0]);
    const int min = lower_bound_of(table, first), max = upper_bound_of(table, first);
    for (const std::string& name : names) {
        const int i = find_track(table, kVariablePrefix + name);
        if (lower_bound_of(table, i) != min || upper_bound_of(table, i) != max) return help;
    }
    return help + " (" + std::to_string(min) + ".." + std::to_string(max) + ")";
}

std::vector<int> default_tracks(const FILTER& table) {
    std::vector<int> tracks(table.track_n > 0 ? table.track_n : 0, 0);
    for (std::size_t i = 0; table.track_default != nullptr && i < tracks.size(); ++i)
        tracks[i] = table.track_default[i];
    return tracks;
}

bool apply_track_setting(const FILTER& table, const TrackSetting& s, std::vector<int>* tracks,
                         std::string* error) {
    const char* named = caption_of(s);
    const std::string caption = s.is_var ? kVariablePrefix + s.option : named ? named : "";
    const int index = find_track(table, caption);
    if (index < 0 || static_cast<std::size_t>(index) >= tracks->size()) {
        *error = s.is_var ? "unknown variable \"" + s.option + "\" (" + variable_list(table) + ")"
                          : "--" + s.option + ": the plug-in has no track \"" + caption + "\"";
        return false;
    }
    const int min = lower_bound_of(table, index), max = upper_bound_of(table, index);
    int v = 0;
    if (!parse_int(s.value, &v) || v < min || v > max) {
        *error = std::string(s.is_var ? "--var " : "--") + s.option + " (track " +
                 std::to_string(index) + " \"" + caption + "\") must be an integer from " +
                 std::to_string(min) + " to " + std::to_string(max) + " (got \"" + s.value + "\")";
        return false;
    }
    (*tracks)[index] = v;
    return true;
}

int color_info_check_box(const FILTER& table) {
    if (table.check_name == nullptr) return -1;
    for (int i = 0; i < table.check_n; ++i)
        if (table.check_name[i] != nullptr &&
            std::strcmp(table.check_name[i], kColorInfoCaption) == 0)
            return i;
    return -1;
}

std::string track_option(const FILTER& table, int index) {
    if (table.track_name == nullptr || index < 0 || index >= table.track_n ||
        table.track_name[index] == nullptr)
        return "";
    const std::string caption = table.track_name[index];
    for (const NamedTrack& t : kNamedTracks)
        if (caption == t.caption) return std::string("--") + t.option;
    const std::size_t prefix = std::strlen(kVariablePrefix);
    if (caption.compare(0, prefix, kVariablePrefix) == 0) return "--var " + caption.substr(prefix);
    return "";
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
