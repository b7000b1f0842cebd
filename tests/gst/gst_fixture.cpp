#include "gst_fixture.h"

#include <glib/gstdio.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

ScriptFolder::ScriptFolder(const std::string& script) {
    gchar* dir = g_dir_make_tmp("quorvel-gst-XXXXXX", nullptr);
    path_ = dir;
    g_free(dir);
    write("filter.lua", script);
}

ScriptFolder::~ScriptFolder() {
    if (GDir* dir = g_dir_open(path_.c_str(), 0, nullptr)) {
        while (const gchar* name = g_dir_read_name(dir)) g_remove((path_ + "/" + name).c_str());
        g_dir_close(dir);
    }
    g_rmdir(path_.c_str());
}

void ScriptFolder::write(const std::string& name, const std::string& text) const {
    std::ofstream(path_ + "/" + name, std::ios::binary) << text;
}

bool Picture::operator==(const Picture& o) const {
    return w == o.w && h == o.h && bits == o.bits && sx == o.sx && sy == o.sy &&
           plane[0] == o.plane[0] && plane[1] == o.plane[1] && plane[2] == o.plane[2];
}

Picture test_picture(int w, int h, int bits, int sx, int sy, int k) {
    Picture p;
    p.w = w, p.h = h, p.bits = bits, p.sx = sx, p.sy = sy;
    const int s = bits - 8;
    std::uint32_t noise = 2463534242u + static_cast<std::uint32_t>(k) * 7919u;
    for (int c = 0; c < 3; ++c) {
        const int pw = p.plane_w(c), ph = p.plane_h(c);
        const int lo = 16 << s, hi = (c ? 240 : 235) << s;
        p.plane[c].resize(static_cast<std::size_t>(pw) * ph);
        for (int y = 0; y < ph; ++y)
            for (int x = 0; x < pw; ++x) {
                noise ^= noise << 13, noise ^= noise >> 17, noise ^= noise << 5;
                int v = lo + ((x * 7 + y * 3 + k * 11 + c * 40) << s) % (hi - lo);
                // A block that moves with the frame number.
                const int bx = (k * 5) % pw, by = (k * 3) % ph;
                if (x >= bx && x < bx + pw / 4 && y >= by && y < by + ph / 4) v = hi - (20 << s);
                v += static_cast<int>(noise % (8u << s)) - (4 << s);
                p.plane[c][static_cast<std::size_t>(y) * pw + x] =
                    static_cast<std::uint16_t>(v < lo   ? lo
                                               : v > hi ? hi
                                                        : v);
            }
    }
    return p;
}

GstBuffer* buffer_from(const Picture& picture, const GstVideoInfo& info, int k) {
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
    GstVideoFrame frame;
    EXPECT_TRUE(
        gst_video_frame_map(&frame, const_cast<GstVideoInfo*>(&info), buffer, GST_MAP_WRITE));
    for (int c = 0; c < 3; ++c) {
        auto* data = static_cast<std::uint8_t*>(GST_VIDEO_FRAME_COMP_DATA(&frame, c));
        const int stride = GST_VIDEO_FRAME_COMP_STRIDE(&frame, c);
        for (int y = 0; y < picture.plane_h(c); ++y)
            for (int x = 0; x < picture.plane_w(c); ++x) {
                const std::uint16_t v =
                    picture.plane[c][static_cast<std::size_t>(y) * picture.plane_w(c) + x];
                if (picture.bits == 8)
                    data[y * stride + x] = static_cast<std::uint8_t>(v);
                else
                    std::memcpy(data + y * stride + 2 * x, &v, 2);
            }
    }
    gst_video_frame_unmap(&frame);
    const GstClockTime duration =
        gst_util_uint64_scale(GST_SECOND, GST_VIDEO_INFO_FPS_D(&info), GST_VIDEO_INFO_FPS_N(&info));
    GST_BUFFER_PTS(buffer) = duration * static_cast<GstClockTime>(k);
    GST_BUFFER_DURATION(buffer) = duration;
    return buffer;
}

Picture picture_from(GstBuffer* buffer, const GstVideoInfo& info) {
    Picture p;
    const GstVideoFormatInfo* f = info.finfo;
    p.w = GST_VIDEO_INFO_WIDTH(&info), p.h = GST_VIDEO_INFO_HEIGHT(&info);
    p.bits = GST_VIDEO_FORMAT_INFO_DEPTH(f, 0);
    p.sx = GST_VIDEO_FORMAT_INFO_W_SUB(f, 1), p.sy = GST_VIDEO_FORMAT_INFO_H_SUB(f, 1);
    GstVideoFrame frame;
    EXPECT_TRUE(
        gst_video_frame_map(&frame, const_cast<GstVideoInfo*>(&info), buffer, GST_MAP_READ));
    for (int c = 0; c < 3; ++c) {
        const auto* data = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_COMP_DATA(&frame, c));
        const int stride = GST_VIDEO_FRAME_COMP_STRIDE(&frame, c);
        p.plane[c].resize(static_cast<std::size_t>(p.plane_w(c)) * p.plane_h(c));
        for (int y = 0; y < p.plane_h(c); ++y)
            for (int x = 0; x < p.plane_w(c); ++x) {
                std::uint16_t v = 0;
                if (p.bits == 8)
                    v = data[y * stride + x];
                else
                    std::memcpy(&v, data + y * stride + 2 * x, 2);
                p.plane[c][static_cast<std::size_t>(y) * p.plane_w(c) + x] = v;
            }
    }
    gst_video_frame_unmap(&frame);
    return p;
}

Harness::Harness(const std::string& launch, bool parse) {
    h = parse ? gst_harness_new_parse(launch.c_str()) : gst_harness_new(launch.c_str());
    bus = gst_bus_new();
    gst_element_set_bus(h->element, bus);
}

Harness::~Harness() {
    gst_harness_teardown(h);
    gst_object_unref(bus);
}

GstElement* Harness::element() const {
    if (!GST_IS_BIN(h->element)) return h->element;
    GstElement* found = nullptr;
    GstIterator* it = gst_bin_iterate_recurse(GST_BIN(h->element));
    GValue item = G_VALUE_INIT;
    while (found == nullptr && gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        auto* e = GST_ELEMENT(g_value_get_object(&item));
        GstElementFactory* factory = gst_element_get_factory(e);
        if (factory && std::strcmp(GST_OBJECT_NAME(factory), "quorvel") == 0) found = e;
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return found;
}

GstMessage* Harness::pop(GstMessageType type) const { return gst_bus_pop_filtered(bus, type); }

namespace {

std::string y4m_colour(const Picture& p) {
    const std::string layout = p.sx == 0 ? "444" : p.sy == 0 ? "422" : "420";
    return p.bits == 8 ? (layout == "420" ? "420jpeg" : layout)
                       : layout + "p" + std::to_string(p.bits);
}

void write_y4m(const std::vector<Picture>& frames, const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    const Picture& f = frames.front();
    out << "YUV4MPEG2 W" << f.w << " H" << f.h << " F30:1 Ip A1:1 C" << y4m_colour(f) << "\n";
    for (const Picture& p : frames) {
        out << "FRAME\n";
        for (int c = 0; c < 3; ++c)
            for (const std::uint16_t v : p.plane[c]) {
                if (p.bits == 8)
                    out.put(static_cast<char>(v));
                else
                    out.put(static_cast<char>(v & 0xFF)).put(static_cast<char>(v >> 8));
            }
    }
}

std::vector<Picture> read_y4m(const std::string& path, const Picture& like) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    std::getline(in, line);
    std::vector<Picture> frames;
    while (std::getline(in, line) && line.rfind("FRAME", 0) == 0) {
        Picture p = like;
        for (int c = 0; c < 3; ++c)
            for (std::uint16_t& v : p.plane[c]) {
                unsigned char b[2] = {0, 0};
                in.read(reinterpret_cast<char*>(b), p.bits == 8 ? 1 : 2);
                v = static_cast<std::uint16_t>(b[0] | (b[1] << 8));
            }
        frames.push_back(p);
    }
    return frames;
}

}  // namespace

std::vector<Picture> run_quorvel(const std::vector<Picture>& frames, const std::string& folder,
                                 const std::string& options) {
    const std::string in = folder + "/frames.y4m", out = folder + "/run.y4m";
    write_y4m(frames, in);
    const Picture& f = frames.front();
    const std::string layout = f.sx == 0 ? "444p" : f.sy == 0 ? "422p" : "420p";
    const std::string command = std::string(QUORVEL_BINARY) + " run --input " + in + " --output " +
                                out + " --script-dir " + folder + " --pix-fmt " + layout +
                                (f.bits == 8 ? "" : std::to_string(f.bits)) + " --strict " +
                                options + " 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::vector<Picture> result = read_y4m(out, f);
    g_remove(in.c_str());
    g_remove(out.c_str());
    return result;
}

std::string caps_of(const char* format, int w, int h, const char* extra) {
    std::ostringstream caps;
    caps << "video/x-raw,format=" << format << ",width=" << w << ",height=" << h
         << ",framerate=30/1" << extra;
    return caps.str();
}
