#include "video_layout.h"

#include <algorithm>
#include <cstring>

namespace {

const VideoLayout kLayouts[] = {
    {GST_VIDEO_FORMAT_I420, Packing::planar, 8, 1, 1, 0},
    {GST_VIDEO_FORMAT_Y42B, Packing::planar, 8, 1, 0, 0},
    {GST_VIDEO_FORMAT_Y444, Packing::planar, 8, 0, 0, 0},
    {GST_VIDEO_FORMAT_NV12, Packing::semi_planar, 8, 1, 1, 0},
    {GST_VIDEO_FORMAT_YUY2, Packing::packed_422, 8, 1, 0, 0},
    {GST_VIDEO_FORMAT_I420_10LE, Packing::planar, 10, 1, 1, 0},
    {GST_VIDEO_FORMAT_I422_10LE, Packing::planar, 10, 1, 0, 0},
    {GST_VIDEO_FORMAT_Y444_10LE, Packing::planar, 10, 0, 0, 0},
    {GST_VIDEO_FORMAT_P010_10LE, Packing::semi_planar, 10, 1, 1, 6},
    {GST_VIDEO_FORMAT_Y210, Packing::packed_422, 10, 1, 0, 6},
};

template <class T>
T* row(void* plane, std::ptrdiff_t stride, int y) {
    return reinterpret_cast<T*>(static_cast<std::uint8_t*>(plane) + stride * y);
}

// Interleaved chroma (U V U V ...) to two planes, and back.
template <class T>
void split_chroma(const GstVideoFrame* frame, int cw, int ch, int shift, void* u, void* v) {
    for (int y = 0; y < ch; ++y) {
        const T* s =
            row<T>(GST_VIDEO_FRAME_PLANE_DATA(frame, 1), GST_VIDEO_FRAME_PLANE_STRIDE(frame, 1), y);
        T* du = static_cast<T*>(u) + static_cast<std::size_t>(y) * cw;
        T* dv = static_cast<T*>(v) + static_cast<std::size_t>(y) * cw;
        for (int x = 0; x < cw; ++x) {
            du[x] = static_cast<T>(s[2 * x] >> shift);
            dv[x] = static_cast<T>(s[2 * x + 1] >> shift);
        }
    }
}

template <class T>
void merge_chroma(const void* u, const void* v, int cw, int ch, int shift, GstVideoFrame* frame) {
    for (int y = 0; y < ch; ++y) {
        T* d =
            row<T>(GST_VIDEO_FRAME_PLANE_DATA(frame, 1), GST_VIDEO_FRAME_PLANE_STRIDE(frame, 1), y);
        const T* su = static_cast<const T*>(u) + static_cast<std::size_t>(y) * cw;
        const T* sv = static_cast<const T*>(v) + static_cast<std::size_t>(y) * cw;
        for (int x = 0; x < cw; ++x) {
            d[2 * x] = static_cast<T>(su[x] << shift);
            d[2 * x + 1] = static_cast<T>(sv[x] << shift);
        }
    }
}

// Luma of a semi-planar frame whose samples sit in the high bits (P010).
template <class T>
void shift_luma_in(const GstVideoFrame* frame, int w, int h, int shift, void* out) {
    for (int y = 0; y < h; ++y) {
        const T* s =
            row<T>(GST_VIDEO_FRAME_PLANE_DATA(frame, 0), GST_VIDEO_FRAME_PLANE_STRIDE(frame, 0), y);
        T* d = static_cast<T*>(out) + static_cast<std::size_t>(y) * w;
        for (int x = 0; x < w; ++x) d[x] = static_cast<T>(s[x] >> shift);
    }
}

template <class T>
void shift_luma_out(const void* in, int w, int h, int shift, GstVideoFrame* frame) {
    for (int y = 0; y < h; ++y) {
        T* d =
            row<T>(GST_VIDEO_FRAME_PLANE_DATA(frame, 0), GST_VIDEO_FRAME_PLANE_STRIDE(frame, 0), y);
        const T* s = static_cast<const T*>(in) + static_cast<std::size_t>(y) * w;
        for (int x = 0; x < w; ++x) d[x] = static_cast<T>(s[x] << shift);
    }
}

// Packed 4:2:2 (Y0 U Y1 V) to three planes, and back.  An odd width leaves
// the last pair's second luma sample out.
template <class T>
void unpack_422(const GstVideoFrame* frame, int w, int h, int shift, void* py, void* pu, void* pv) {
    const int cw = (w + 1) / 2;
    for (int y = 0; y < h; ++y) {
        const T* s =
            row<T>(GST_VIDEO_FRAME_PLANE_DATA(frame, 0), GST_VIDEO_FRAME_PLANE_STRIDE(frame, 0), y);
        T* dy = static_cast<T*>(py) + static_cast<std::size_t>(y) * w;
        T* du = static_cast<T*>(pu) + static_cast<std::size_t>(y) * cw;
        T* dv = static_cast<T*>(pv) + static_cast<std::size_t>(y) * cw;
        for (int x = 0; x < w; ++x) dy[x] = static_cast<T>(s[2 * x] >> shift);
        for (int k = 0; k < cw; ++k) {
            du[k] = static_cast<T>(s[4 * k + 1] >> shift);
            dv[k] = static_cast<T>(s[4 * k + 3] >> shift);
        }
    }
}

template <class T>
void pack_422(const void* py, const void* pu, const void* pv, int w, int h, int shift,
              GstVideoFrame* frame) {
    const int cw = (w + 1) / 2;
    for (int y = 0; y < h; ++y) {
        T* d =
            row<T>(GST_VIDEO_FRAME_PLANE_DATA(frame, 0), GST_VIDEO_FRAME_PLANE_STRIDE(frame, 0), y);
        const T* sy = static_cast<const T*>(py) + static_cast<std::size_t>(y) * w;
        const T* su = static_cast<const T*>(pu) + static_cast<std::size_t>(y) * cw;
        const T* sv = static_cast<const T*>(pv) + static_cast<std::size_t>(y) * cw;
        for (int x = 0; x < w; ++x) d[2 * x] = static_cast<T>(sy[x] << shift);
        for (int k = 0; k < cw; ++k) {
            d[4 * k + 1] = static_cast<T>(su[k] << shift);
            d[4 * k + 3] = static_cast<T>(sv[k] << shift);
        }
    }
}

template <class T>
void fill_plane(void* data, std::ptrdiff_t stride, int w, int h, int value) {
    for (int y = 0; y < h; ++y) std::fill_n(row<T>(data, stride, y), w, static_cast<T>(value));
}

}  // namespace

const VideoLayout* find_layout(GstVideoFormat format) {
    for (const VideoLayout& l : kLayouts)
        if (l.format == format) return &l;
    return nullptr;
}

std::string accepted_format_names() {
    std::string names;
    for (const VideoLayout& l : kLayouts)
        names += (names.empty() ? "" : ", ") + std::string(gst_video_format_to_string(l.format));
    return names;
}

GstCaps* accepted_caps() {
    GValue list = G_VALUE_INIT;
    g_value_init(&list, GST_TYPE_LIST);
    for (const VideoLayout& l : kLayouts) {
        GValue name = G_VALUE_INIT;
        g_value_init(&name, G_TYPE_STRING);
        g_value_set_static_string(&name, gst_video_format_to_string(l.format));
        gst_value_list_append_and_take_value(&list, &name);
    }
    GstCaps* caps = gst_caps_from_string(
        "video/x-raw, width = (int) [ 1, 16384 ], height = (int) [ 1, 16384 ], "
        "framerate = (fraction) [ 0, max ]");
    gst_caps_set_value(caps, "format", &list);
    g_value_unset(&list);
    return caps;
}

void FrameIo::configure(const VideoLayout& layout, int width, int height, bool full_range) {
    layout_ = layout;
    width_ = width, height_ = height;
    full_range_ = full_range;
    const std::size_t sample = layout.bits > 8 ? 2 : 1;
    for (int p = 0; p < 3; ++p) {
        const bool kept = layout.packing == Packing::packed_422 ||
                          (layout.packing == Packing::semi_planar && (p > 0 || layout.msb_shift));
        scratch_[p].assign(kept ? sample * plane_width(p) * plane_height(p) : 0, 0);
    }
}

void FrameIo::locate(GstVideoFrame* frame, void* data[3], std::ptrdiff_t stride[3]) {
    const int sample = layout_.bits > 8 ? 2 : 1;
    for (int p = 0; p < 3; ++p) {
        data[p] = scratch_[p].data();
        stride[p] = static_cast<std::ptrdiff_t>(plane_width(p)) * sample;
    }
    if (layout_.packing == Packing::planar) {
        for (int p = 0; p < 3; ++p) {
            data[p] = GST_VIDEO_FRAME_COMP_DATA(frame, p);
            stride[p] = GST_VIDEO_FRAME_COMP_STRIDE(frame, p);
        }
    } else if (layout_.packing == Packing::semi_planar && layout_.msb_shift == 0) {
        data[0] = GST_VIDEO_FRAME_PLANE_DATA(frame, 0);
        stride[0] = GST_VIDEO_FRAME_PLANE_STRIDE(frame, 0);
    }
}

Planes FrameIo::input(GstVideoFrame* frame) {
    const bool words = layout_.bits > 8;
    const int s = layout_.msb_shift;
    const int cw = plane_width(1), ch = plane_height(1);
    void* const y = scratch_[0].data();
    void* const u = scratch_[1].data();
    void* const v = scratch_[2].data();
    if (layout_.packing == Packing::semi_planar) {
        if (s != 0) shift_luma_in<std::uint16_t>(frame, width_, height_, s, y);
        if (words)
            split_chroma<std::uint16_t>(frame, cw, ch, s, u, v);
        else
            split_chroma<std::uint8_t>(frame, cw, ch, s, u, v);
    } else if (layout_.packing == Packing::packed_422) {
        if (words)
            unpack_422<std::uint16_t>(frame, width_, height_, s, y, u, v);
        else
            unpack_422<std::uint8_t>(frame, width_, height_, s, y, u, v);
    }
    Planes planes;
    void* data[3];
    locate(frame, data, planes.stride);
    for (int p = 0; p < 3; ++p) planes.data[p] = data[p];
    planes.bits = layout_.bits;
    planes.shift_x = layout_.shift_x, planes.shift_y = layout_.shift_y;
    planes.full_range = full_range_;
    return planes;
}

void FrameIo::output(const PIXEL_YC* pixels, int stride, int w, int h, GstVideoFrame* frame) {
    OutPlanes out;
    locate(frame, out.data, out.stride);
    out.bits = layout_.bits;
    out.shift_x = layout_.shift_x, out.shift_y = layout_.shift_y;
    out.full_range = full_range_;
    if (w < width_ || h < height_) fill_black(out);
    yc_to_planes(pixels, stride, std::min(w, width_), std::min(h, height_), out);

    const bool words = layout_.bits > 8;
    const int s = layout_.msb_shift;
    const int cw = plane_width(1), ch = plane_height(1);
    const void* const y = scratch_[0].data();
    const void* const u = scratch_[1].data();
    const void* const v = scratch_[2].data();
    if (layout_.packing == Packing::semi_planar) {
        if (s != 0) shift_luma_out<std::uint16_t>(y, width_, height_, s, frame);
        if (words)
            merge_chroma<std::uint16_t>(u, v, cw, ch, s, frame);
        else
            merge_chroma<std::uint8_t>(u, v, cw, ch, s, frame);
    } else if (layout_.packing == Packing::packed_422) {
        if (words)
            pack_422<std::uint16_t>(y, u, v, width_, height_, s, frame);
        else
            pack_422<std::uint8_t>(y, u, v, width_, height_, s, frame);
    }
}

void FrameIo::fill_black(const OutPlanes& out) const {
    const int values[3] = {luma_to_sample(0, layout_.bits, full_range_),
                           chroma_to_sample(0, layout_.bits, full_range_),
                           chroma_to_sample(0, layout_.bits, full_range_)};
    for (int p = 0; p < 3; ++p) {
        if (layout_.bits > 8)
            fill_plane<std::uint16_t>(out.data[p], out.stride[p], plane_width(p), plane_height(p),
                                      values[p]);
        else
            fill_plane<std::uint8_t>(out.data[p], out.stride[p], plane_width(p), plane_height(p),
                                     values[p]);
    }
}
