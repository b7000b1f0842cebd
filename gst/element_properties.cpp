#include "element_properties.h"

#include <gst/gst.h>

#include <cstring>

#include "host/tracks.h"
#include "options.h"
#include "plugin_table.h"

namespace {

// The property of track `index`: "script-no" for "--script-no", "var-a"
// for "--var a"; "" for a track no option sets.
std::string track_property(const FILTER& table, int index) {
    std::string option = track_option(table, index);
    if (option.rfind("--", 0) != 0) return "";
    option.erase(0, 2);
    for (char& c : option)
        if (c == ' ') c = '-';
    return option;
}

std::string track_blurb(const std::string& name) {
    if (name == "script-no")
        return "The script in script-dir: 0 runs filter.lua, N runs filterN.lua";
    if (name == "threads") return "Worker threads of the script's functions";
    if (name == "display") return "Buffer shown instead of the script's output (0: the output)";
    if (name.rfind("var-", 0) == 0) return "The script's variable vars." + name.substr(4);
    return "Track of the plug-in";
}

constexpr GParamFlags kFlags = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                                        GST_PARAM_MUTABLE_PLAYING);

}  // namespace

void install_settings_properties(GObjectClass* klass) {
    g_object_class_install_property(
        klass, kScriptDirProperty,
        g_param_spec_string("script-dir", "Script folder",
                            "Folder of filter.lua (filterN.lua for script-no N) and lua_err.txt; "
                            "~ is the home folder (default: the current folder)",
                            nullptr, kFlags));
    g_object_class_install_property(
        klass, kFrameTimeoutProperty,
        g_param_spec_double("frame-timeout", "Frame timeout",
                            "Seconds a frame's script may run before it is ended as a script "
                            "error (0: no limit)",
                            0.0, 3600.0, 1.0, kFlags));
    g_object_class_install_property(
        klass, kMemoryLimitProperty,
        g_param_spec_string("memory-limit", "Memory limit",
                            "Memory the script may hold, with K, M or G (0: no limit; default: "
                            "half the machine's memory)",
                            nullptr, kFlags));
    g_object_class_install_property(
        klass, kSandboxProperty,
        g_param_spec_boolean("sandbox", "Sandbox",
                             "Run the script sandboxed: no programs, native code or debug "
                             "library, files only in its folder",
                             TRUE, kFlags));
    g_object_class_install_property(
        klass, kMaxSizeProperty,
        g_param_spec_string("max-size", "Frame buffer size",
                            "WxH of the frame buffers, room beyond the picture for the script "
                            "(default: the picture's size)",
                            nullptr, kFlags));
    const FILTER& table = plugin_table();
    for (int i = 0; i < table.track_n; ++i) {
        const std::string name = track_property(table, i);
        if (name.empty()) continue;
        const char* caption = table.track_name && table.track_name[i] ? table.track_name[i] : "";
        // The names live as long as the class: GObject keeps them.
        g_object_class_install_property(
            klass, kTrackProperty + static_cast<guint>(i),
            g_param_spec_int(
                g_intern_string(name.c_str()), g_intern_string(caption),
                g_intern_string(track_blurb(name).c_str()), table.track_s ? table.track_s[i] : 0,
                table.track_e ? table.track_e[i] : 0,
                table.track_default ? table.track_default[i] : 0,
                static_cast<GParamFlags>(G_PARAM_READWRITE | GST_PARAM_MUTABLE_PLAYING |
                                         G_PARAM_STATIC_STRINGS)));
    }
}

LiveSettings default_settings() {
    LiveSettings s;
    s.tracks = default_tracks(plugin_table());
    return s;
}

bool set_setting(LiveSettings* s, PropertyTexts* texts, guint id, const GValue* value) {
    if (id >= kTrackProperty) {
        const std::size_t index = id - kTrackProperty;
        if (index >= s->tracks.size()) return false;
        s->tracks[index] = g_value_get_int(value);
        return true;
    }
    switch (id) {
        case kScriptDirProperty: {
            const char* dir = g_value_get_string(value);
            s->script_dir = dir ? dir : "";
            return true;
        }
        case kFrameTimeoutProperty:
            s->frame_timeout = g_value_get_double(value);
            return true;
        case kSandboxProperty:
            s->sandbox = g_value_get_boolean(value);
            return true;
        case kMemoryLimitProperty: {
            const char* text = g_value_get_string(value);
            std::uint64_t bytes = 0;
            if (text == nullptr || *text == '\0') {
                s->memory_limit_given = false;
            } else if (parse_bytes(text, &bytes)) {
                s->memory_limit = bytes;
                s->memory_limit_given = true;
            } else {
                g_warning("quorvel: memory-limit \"%s\" is not a size such as 512M or 2G", text);
                return true;
            }
            texts->memory_limit = text ? text : "";
            return true;
        }
        case kMaxSizeProperty: {
            const char* text = g_value_get_string(value);
            int w = 0, h = 0;
            if (text == nullptr || *text == '\0') {
                s->max_w = s->max_h = 0;
            } else if (parse_frame_size(text, &w, &h)) {
                s->max_w = w, s->max_h = h;
            } else {
                g_warning("quorvel: max-size \"%s\" is not WxH, such as 1920x1080", text);
                return true;
            }
            texts->max_size = text ? text : "";
            return true;
        }
        default:
            return false;
    }
}

bool get_setting(const LiveSettings& s, const PropertyTexts& texts, guint id, GValue* value) {
    if (id >= kTrackProperty) {
        const std::size_t index = id - kTrackProperty;
        if (index >= s.tracks.size()) return false;
        g_value_set_int(value, s.tracks[index]);
        return true;
    }
    const auto text_or_null = [](const std::string& t) { return t.empty() ? nullptr : t.c_str(); };
    switch (id) {
        case kScriptDirProperty:
            g_value_set_string(value, text_or_null(s.script_dir));
            return true;
        case kFrameTimeoutProperty:
            g_value_set_double(value, s.frame_timeout);
            return true;
        case kSandboxProperty:
            g_value_set_boolean(value, s.sandbox);
            return true;
        case kMemoryLimitProperty:
            g_value_set_string(value, text_or_null(texts.memory_limit));
            return true;
        case kMaxSizeProperty:
            g_value_set_string(value, text_or_null(texts.max_size));
            return true;
        default:
            return false;
    }
}
