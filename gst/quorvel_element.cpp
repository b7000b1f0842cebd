#include "quorvel_element.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <string>

#include "element_properties.h"
#include "frame_numbers.h"
#include "live_session.h"
#include "plugin_table.h"
#include "script_reports.h"
#include "video_layout.h"

GST_DEBUG_CATEGORY_STATIC(quorvel_debug);
#define GST_CAT_DEFAULT quorvel_debug

namespace {

// Everything of an element beyond its GObject: C++ members, made in init
// and destroyed in finalize.
struct ElementState {
    // Written by the properties under the object lock, taken by the
    // streaming thread at the next frame.
    LiveSettings settings = default_settings();
    PropertyTexts texts;
    std::uint64_t settings_version = 0;
    ElementStats stats;

    // The streaming thread's own.
    LiveSession session;
    bool loaded = false;
    bool claimed = false;
    std::uint64_t applied_version = 0;
    LiveSettings applied;
    const VideoLayout* layout = nullptr;
    LiveSession::Shape shape;
    FrameIo io;
    FrameNumbers numbers;
    int next_number = 0;
    bool announced = false;  // before_transform saw a buffer that transform has not run
    ErrorNews errors;
    std::string said_missing;  // the missing script said last
};

}  // namespace

struct _GstQuorvel {
    GstVideoFilter parent;
    ElementState* state;
};

G_DEFINE_TYPE(GstQuorvel, gst_quorvel, GST_TYPE_VIDEO_FILTER)

namespace {

ElementState& state_of(gpointer element) { return *GST_QUORVEL(element)->state; }

// Message boxes of the script: a live pipeline has no one to answer them.
// The box is posted to the application as an element message
// ("quorvel-message-box": caption, text) and answered OK (or Yes).  The
// plug-in calls back without saying which element; the streaming thread
// says it.
thread_local GstQuorvel* running_element = nullptr;

int answer_box(void*, const char* text, const char* caption, unsigned kind) {
    if (GstQuorvel* self = running_element) {
        GST_INFO_OBJECT(self, "message box [%s] %s", caption ? caption : "", text ? text : "");
        GstStructure* box = gst_structure_new("quorvel-message-box", "caption", G_TYPE_STRING,
                                              caption ? caption : "", "text", G_TYPE_STRING,
                                              text ? text : "", nullptr);
        gst_element_post_message(GST_ELEMENT(self), gst_message_new_element(GST_OBJECT(self), box));
    }
    return (kind & 0xF) == MB_YESNO ? IDYES : IDOK;
}
void* find_no_window(const char*) { return nullptr; }
void ignore_message(void*, unsigned, std::uintptr_t, std::intptr_t) {}
const DesktopServices element_desktop = {answer_box, find_no_window, ignore_message};

void post_script_warning(GstQuorvel* self, int frame, const std::string& line) {
    const ScriptError e = parse_script_error(line);
    GST_ELEMENT_WARNING_WITH_DETAILS(
        self, STREAM, FAILED, ("%s", line.c_str()),
        ("script error in frame %d; the stream goes on", frame),
        ("script-file", G_TYPE_STRING, e.file.c_str(), "script-line", G_TYPE_INT, e.line,
         "script-message", G_TYPE_STRING, e.message.c_str(), "frame", G_TYPE_INT, frame, nullptr));
}

// Says once (until the folder or script number changes) that the script
// the settings name does not exist: frames pass through unchanged.
void say_if_script_missing(GstQuorvel* self, ElementState& st) {
    const std::string& script = st.session.script_path();
    if (g_file_test(script.c_str(), G_FILE_TEST_IS_REGULAR)) {
        st.said_missing.clear();
        return;
    }
    if (st.said_missing == script) return;
    st.said_missing = script;
    GST_ELEMENT_WARNING(
        self, RESOURCE, NOT_FOUND,
        ("no script %s: frames pass through unchanged until it is saved", script.c_str()),
        (nullptr));
}

// Caps that the element cannot take are refused by the pad before the
// element sees them, with nothing said; this says which formats it takes.
GstPadProbeReturn check_caps(GstPad* pad, GstPadProbeInfo* info, gpointer element) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) != GST_EVENT_CAPS) return GST_PAD_PROBE_OK;
    GstCaps* caps = nullptr;
    gst_event_parse_caps(event, &caps);
    GstCaps* taken = gst_pad_get_pad_template_caps(pad);
    const bool fits = gst_caps_can_intersect(caps, taken);
    gst_caps_unref(taken);
    if (fits) return GST_PAD_PROBE_OK;
    const GstStructure* s = gst_caps_get_size(caps) ? gst_caps_get_structure(caps, 0) : nullptr;
    const char* format = s ? gst_structure_get_string(s, "format") : nullptr;
    const bool raw = s && gst_structure_has_name(s, "video/x-raw") &&
                     gst_caps_features_is_equal(gst_caps_get_features(caps, 0),
                                                GST_CAPS_FEATURES_MEMORY_SYSTEM_MEMORY);
    gchar* text = gst_caps_to_string(caps);
    if (raw && format != nullptr && find_layout(gst_video_format_from_string(format)) == nullptr)
        GST_ELEMENT_ERROR(element, CORE, NEGOTIATION,
                          ("quorvel cannot take %s video; it takes %s (put videoconvert before "
                           "it)",
                           format, accepted_format_names().c_str()),
                          ("refused caps %s", text));
    else
        GST_ELEMENT_ERROR(element, CORE, NEGOTIATION,
                          ("quorvel cannot take %s; it takes raw video in system memory as %s, "
                           "1 to 16384 pixels a side",
                           text, accepted_format_names().c_str()),
                          (nullptr));
    g_free(text);
    return GST_PAD_PROBE_OK;
}

// Refused caps also in the debug log: inside a bin, the bin's pad asks the
// element and refuses them before the event reaches it.
gboolean accept_caps(GstBaseTransform* trans, GstPadDirection direction, GstCaps* caps) {
    if (GST_BASE_TRANSFORM_CLASS(gst_quorvel_parent_class)->accept_caps(trans, direction, caps))
        return TRUE;
    GST_WARNING_OBJECT(trans, "cannot take %" GST_PTR_FORMAT "; it takes %s", caps,
                       accepted_format_names().c_str());
    return FALSE;
}

// ---- properties

void set_property(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
    ElementState& st = state_of(object);
    GST_OBJECT_LOCK(object);
    const bool known = set_setting(&st.settings, &st.texts, id, value);
    if (known) ++st.settings_version;
    GST_OBJECT_UNLOCK(object);
    if (!known) G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
}

void get_property(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
    ElementState& st = state_of(object);
    GST_OBJECT_LOCK(object);
    bool known = true;
    if (id == kStatsProperty)
        g_value_take_boxed(value, st.stats.to_structure());
    else
        known = get_setting(st.settings, st.texts, id, value);
    GST_OBJECT_UNLOCK(object);
    if (!known) G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
}

// ---- state changes

gboolean start(GstBaseTransform* trans) {
    ElementState& st = state_of(trans);
    std::string error;
    if (!st.loaded) {
        if (!st.session.load(plugin_file(), &error)) {
            GST_ELEMENT_ERROR(trans, LIBRARY, INIT, ("%s", error.c_str()), (nullptr));
            return FALSE;
        }
        st.session.set_desktop(&element_desktop);
        st.loaded = true;
    }
    if (!claim_plugin(trans)) {
        GST_ELEMENT_ERROR(trans, RESOURCE, BUSY,
                          ("another quorvel element is running in this process; the script's "
                           "plug-in runs one script at a time"),
                          (nullptr));
        return FALSE;
    }
    st.claimed = true;
    GST_OBJECT_LOCK(trans);
    st.applied = st.settings;
    st.applied_version = st.settings_version;
    st.stats = ElementStats{};
    GST_OBJECT_UNLOCK(trans);
    const std::string dir = resolve_script_dir(st.applied.script_dir);
    if (!g_file_test(dir.c_str(), G_FILE_TEST_IS_DIR)) {
        GST_ELEMENT_ERROR(trans, RESOURCE, NOT_FOUND,
                          ("script folder %s cannot be opened", dir.c_str()), (nullptr));
        release_plugin(trans);
        st.claimed = false;
        return FALSE;
    }
    st.numbers.restart();
    st.errors.forget();
    st.said_missing.clear();
    st.announced = false;
    return TRUE;
}

gboolean stop(GstBaseTransform* trans) {
    ElementState& st = state_of(trans);
    st.session.stop();
    st.layout = nullptr;
    if (st.claimed) release_plugin(trans);
    st.claimed = false;
    return TRUE;
}

// ---- caps

gboolean set_info(GstVideoFilter* filter, GstCaps*, GstVideoInfo* in_info, GstCaps*,
                  GstVideoInfo*) {
    ElementState& st = state_of(filter);
    const GstVideoFormat format = GST_VIDEO_INFO_FORMAT(in_info);
    const VideoLayout* layout = find_layout(format);
    if (layout == nullptr) {
        GST_ELEMENT_ERROR(filter, CORE, NEGOTIATION,
                          ("quorvel cannot take %s video; it takes %s",
                           gst_video_format_to_string(format), accepted_format_names().c_str()),
                          (nullptr));
        return FALSE;
    }
    if (GST_VIDEO_INFO_IS_INTERLACED(in_info))
        GST_WARNING_OBJECT(filter, "interlaced video: the script sees both fields as one picture");
    const bool full_range = in_info->colorimetry.range == GST_VIDEO_COLOR_RANGE_0_255;
    LiveSession::Shape shape;
    shape.width = GST_VIDEO_INFO_WIDTH(in_info);
    shape.height = GST_VIDEO_INFO_HEIGHT(in_info);
    shape.rate_num = GST_VIDEO_INFO_FPS_N(in_info);
    shape.rate_den = GST_VIDEO_INFO_FPS_D(in_info);
    st.layout = layout;
    st.io.configure(*layout, shape.width, shape.height, full_range);
    GST_INFO_OBJECT(filter, "%s %dx%d, %s range", gst_video_format_to_string(format), shape.width,
                    shape.height, full_range ? "full" : "limited");
    // A new picture size starts the script afresh; a new format or frame
    // rate alone does not.
    if (st.session.started() && st.session.shape().width == shape.width &&
        st.session.shape().height == shape.height) {
        st.shape = shape;
        return TRUE;
    }
    std::string error;
    if (!st.session.start(shape, st.applied, &error)) {
        GST_ELEMENT_ERROR(filter, CORE, NEGOTIATION, ("%s", error.c_str()), (nullptr));
        return FALSE;
    }
    st.shape = shape;
    say_if_script_missing(GST_QUORVEL(filter), st);
    return TRUE;
}

// ---- buffers

// Numbers every buffer as it comes, also the ones QoS then drops, so that
// counting frames counts them too.
void before_transform(GstBaseTransform* trans, GstBuffer* buffer) {
    ElementState& st = state_of(trans);
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    if (!st.numbers.decided()) {
        GstQuery* latency = gst_query_new_latency();
        gboolean live = FALSE;
        if (gst_pad_peer_query(GST_BASE_TRANSFORM_SINK_PAD(trans), latency))
            gst_query_parse_latency(latency, &live, nullptr, nullptr);
        gst_query_unref(latency);
        gint64 duration = -1;
        if (live || !gst_pad_peer_query_duration(GST_BASE_TRANSFORM_SINK_PAD(trans),
                                                 GST_FORMAT_TIME, &duration))
            duration = -1;
        st.numbers.decide(live, st.shape.rate_num, st.shape.rate_den, duration);
        st.session.set_length(st.numbers.length());
        GST_INFO_OBJECT(trans, "frames %s, stream length %d",
                        live ? "counted (live source)" : "on the frame grid", st.numbers.length());
    }
    std::int64_t stream_time = -1;
    if (GST_CLOCK_TIME_IS_VALID(pts) && trans->segment.format == GST_FORMAT_TIME) {
        const guint64 t = gst_segment_to_stream_time(&trans->segment, GST_FORMAT_TIME, pts);
        if (GST_CLOCK_TIME_IS_VALID(t)) stream_time = static_cast<std::int64_t>(t);
    }
    GST_OBJECT_LOCK(trans);
    if (st.announced) ++st.stats.dropped;
    GST_OBJECT_UNLOCK(trans);
    st.announced = true;
    st.next_number = st.numbers.next(stream_time);
}

// Takes the settings the properties changed since the last frame.
void take_settings(GstQuorvel* self, ElementState& st) {
    GST_OBJECT_LOCK(self);
    const bool changed = st.applied_version != st.settings_version;
    LiveSettings settings = changed ? st.settings : LiveSettings{};
    st.applied_version = st.settings_version;
    GST_OBJECT_UNLOCK(self);
    if (!changed) return;
    std::string error;
    if (!st.session.update(settings, &error)) {
        // The settings that could not be taken are left; the stream goes on
        // with the ones before.
        GST_ELEMENT_WARNING(self, RESOURCE, SETTINGS, ("%s", error.c_str()),
                            ("the settings before stay"));
        return;
    }
    st.applied = settings;
    say_if_script_missing(self, st);
}

GstFlowReturn transform_frame_ip(GstVideoFilter* filter, GstVideoFrame* frame) {
    GstQuorvel* self = GST_QUORVEL(filter);
    ElementState& st = *self->state;
    const gint64 began = g_get_monotonic_time();
    st.announced = false;
    take_settings(self, st);
    if (!st.session.started()) {
        GST_ELEMENT_ERROR(self, CORE, NEGOTIATION, ("no picture format was set"), (nullptr));
        return GST_FLOW_NOT_NEGOTIATED;
    }
    const int n = st.next_number;
    const Planes in = st.io.input(frame);
    std::vector<std::string> script_errors;
    std::string error;
    std::int64_t script_us = 0;
    running_element = self;
    const bool ok =
        st.session.run_frame(n, in, static_cast<std::int64_t>(GST_BUFFER_PTS(frame->buffer)),
                             &script_errors, &script_us, &error);
    running_element = nullptr;
    if (!ok) GST_ELEMENT_WARNING(self, STREAM, FAILED, ("%s", error.c_str()), (nullptr));
    st.io.output(st.session.output(), st.session.stride(), st.session.output_w(),
                 st.session.output_h(), frame);
    for (const std::string& line : script_errors)
        GST_WARNING_OBJECT(self, "frame %d: %s", n, line.c_str());
    for (const std::string& line : st.errors.news(script_errors))
        post_script_warning(self, n, line);
    const gint64 spent = g_get_monotonic_time() - began;
    GST_OBJECT_LOCK(self);
    st.stats.add(spent, script_us, !script_errors.empty());
    GST_OBJECT_UNLOCK(self);
    return GST_FLOW_OK;
}

gboolean sink_event(GstBaseTransform* trans, GstEvent* event) {
    ElementState& st = state_of(trans);
    switch (GST_EVENT_TYPE(event)) {
        case GST_EVENT_FLUSH_STOP:
            // What was kept is no longer the frames before the next one.
            st.session.forget_kept_frames();
            st.numbers.restart();
            st.announced = false;
            break;
        case GST_EVENT_SEGMENT:
            st.numbers.restart();
            break;
        case GST_EVENT_EOS: {
            GST_OBJECT_LOCK(trans);
            if (st.announced) ++st.stats.dropped;
            GstStructure* stats = st.stats.to_structure();
            GST_OBJECT_UNLOCK(trans);
            st.announced = false;
            gst_element_post_message(GST_ELEMENT(trans),
                                     gst_message_new_element(GST_OBJECT(trans), stats));
            break;
        }
        default:
            break;
    }
    return GST_BASE_TRANSFORM_CLASS(gst_quorvel_parent_class)->sink_event(trans, event);
}

// ---- the type

void finalize(GObject* object) {
    GstQuorvel* self = GST_QUORVEL(object);
    if (self->state->claimed) release_plugin(self);
    delete self->state;
    self->state = nullptr;
    G_OBJECT_CLASS(gst_quorvel_parent_class)->finalize(object);
}

}  // namespace

static void gst_quorvel_class_init(GstQuorvelClass* klass) {
    GST_DEBUG_CATEGORY_INIT(quorvel_debug, "quorvel", 0, "Lua-scripted video filter");
    GObjectClass* object_class = G_OBJECT_CLASS(klass);
    GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
    GstBaseTransformClass* transform_class = GST_BASE_TRANSFORM_CLASS(klass);
    GstVideoFilterClass* filter_class = GST_VIDEO_FILTER_CLASS(klass);

    object_class->set_property = set_property;
    object_class->get_property = get_property;
    object_class->finalize = finalize;
    install_settings_properties(object_class);
    g_object_class_install_property(
        object_class, kStatsProperty,
        g_param_spec_boxed("stats", "Statistics",
                           "Buffers filtered, dropped as late, with script errors, and the time "
                           "a buffer spends in the element (mean, max, last) and in the script "
                           "(script-mean), in microseconds",
                           GST_TYPE_STRUCTURE,
                           static_cast<GParamFlags>(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS)));

    gst_element_class_set_static_metadata(
        element_class, "Quorvel", "Filter/Effect/Video",
        "Runs a Lua script on every frame (filter.lua in script-dir), as quorvel run does",
        "Quorvel developers");
    GstCaps* caps = accepted_caps();
    gst_element_class_add_pad_template(
        element_class, gst_pad_template_new("sink", GST_PAD_SINK, GST_PAD_ALWAYS, caps));
    gst_element_class_add_pad_template(
        element_class, gst_pad_template_new("src", GST_PAD_SRC, GST_PAD_ALWAYS, caps));
    gst_caps_unref(caps);

    transform_class->start = start;
    transform_class->stop = stop;
    transform_class->before_transform = before_transform;
    transform_class->sink_event = sink_event;
    transform_class->accept_caps = accept_caps;
    // The script reads and writes the frame where it lies: no second buffer.
    transform_class->passthrough_on_same_caps = FALSE;
    transform_class->transform_ip_on_passthrough = FALSE;
    filter_class->set_info = set_info;
    filter_class->transform_frame_ip = transform_frame_ip;
}

static void gst_quorvel_init(GstQuorvel* self) {
    self->state = new ElementState();
    gst_base_transform_set_in_place(GST_BASE_TRANSFORM(self), TRUE);
    gst_base_transform_set_qos_enabled(GST_BASE_TRANSFORM(self), TRUE);
    gst_pad_add_probe(GST_BASE_TRANSFORM_SINK_PAD(self), GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM,
                      check_caps, self, nullptr);
}
