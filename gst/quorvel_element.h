// The GStreamer element `quorvel`: a video filter that runs the user's Lua
// script on every buffer through the same plug-in and host library as
// `quorvel run`.  Buffers are filtered in place; properties are the
// plug-in's tracks (script-no, threads, display, var-a ... var-z) and the
// script's folder and limits.
#pragma once

#include <gst/video/gstvideofilter.h>
#include <gst/video/video.h>

G_BEGIN_DECLS

#define GST_TYPE_QUORVEL (gst_quorvel_get_type())
G_DECLARE_FINAL_TYPE(GstQuorvel, gst_quorvel, GST, QUORVEL, GstVideoFilter)

G_END_DECLS
