// libgstquorvel.so: registers the element `quorvel`.  The plug-in it drives
// (quorvel.auf) lies beside it; its filter table is read here, once, for
// the element's properties.
#include <gst/gst.h>

#include <string>

#include "plugin_table.h"
#include "quorvel_element.h"

namespace {

gboolean plugin_init(GstPlugin* plugin) {
    const gchar* library = gst_plugin_get_filename(plugin);
    std::string error;
    if (!load_plugin_table(library ? library : "", &error)) {
        GST_ERROR("quorvel: %s", error.c_str());
        g_warning("quorvel: %s", error.c_str());
        return FALSE;
    }
    return gst_element_register(plugin, "quorvel", GST_RANK_NONE, GST_TYPE_QUORVEL);
}

}  // namespace

#define PACKAGE "quorvel"
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, quorvel,
                  "Runs a Lua script on every video frame", plugin_init, QUORVEL_VERSION, "unknown",
                  "Quorvel", "Quorvel")
