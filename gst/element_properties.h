// The element's properties: one for each track of the plug-in's filter
// table, named by the track's option in `quorvel run` (script-no, threads,
// display, var-a ... var-z) with the table's range and default, and the
// script's folder, limits and frame-buffer size.
#pragma once

#include <glib-object.h>

#include <string>

#include "settings.h"

// The property ids after the tracks' (which are kTrackProperty + index).
enum ElementProperty : guint {
    kScriptDirProperty = 1,
    kFrameTimeoutProperty,
    kMemoryLimitProperty,
    kSandboxProperty,
    kMaxSizeProperty,
    kStatsProperty,
    kTrackProperty = 100,
};

// Properties given as text, kept as they were set for reading back.
struct PropertyTexts {
    std::string memory_limit;  // "" for half the machine's memory
    std::string max_size;      // "" for the picture's size
};

// Installs every property but the statistics on `klass`, from the table of
// the loaded plug-in.
void install_settings_properties(GObjectClass* klass);
// The settings of a new element: the table's defaults.
LiveSettings default_settings();

// Property `id` into or out of the settings; false for an id that is not
// a setting.  A text that cannot be read is refused with a warning and
// changes nothing.
bool set_setting(LiveSettings* settings, PropertyTexts* texts, guint id, const GValue* value);
bool get_setting(const LiveSettings& settings, const PropertyTexts& texts, guint id, GValue* value);
