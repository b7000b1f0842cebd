// The raw video formats the element takes, and the way between a mapped
// video frame and the planes of the host's pixel conversion: planar formats
// are read and written where they lie; interleaved chroma (NV12, P010) and
// packed 4:2:2 (YUY2, Y210) go through planes of their own.
#pragma once

#include <gst/video/video.h>

#include <cstdint>
#include <string>
#include <vector>

#include "media/pixel_convert.h"

enum class Packing { planar, semi_planar, packed_422 };

struct VideoLayout {
    GstVideoFormat format;
    Packing packing;
    int bits;              // significant bits of a sample (8 or 10)
    int shift_x, shift_y;  // log2 of the chroma subsampling
    int msb_shift;         // bits below the sample in its 16-bit word (P010, Y210)
};

// The layout of `format`, or null when the element does not take it.
const VideoLayout* find_layout(GstVideoFormat format);
// "I420, Y42B, ...": the formats taken, for messages and the caps.
std::string accepted_format_names();
// video/x-raw in every format taken (a new reference).
GstCaps* accepted_caps();

// Moves pictures between a mapped frame and editor pixels.  Set up once per
// format and size; its planes for the interleaved formats are kept.
class FrameIo {
public:
    void configure(const VideoLayout& layout, int width, int height, bool full_range);

    // The frame's picture as planes for the pixel conversion.
    Planes input(GstVideoFrame* frame);
    // Writes the top-left w x h of `pixels` (rows `stride` apart) into the
    // frame; a smaller picture gets black around it, a larger one is cut.
    void output(const PIXEL_YC* pixels, int stride, int w, int h, GstVideoFrame* frame);

private:
    // Where the conversion's three planes lie: in the frame for the planar
    // formats (and NV12's luma), else in the kept planes.
    void locate(GstVideoFrame* frame, void* data[3], std::ptrdiff_t stride[3]);
    void fill_black(const OutPlanes& planes) const;
    int plane_width(int p) const {
        return p ? (width_ + (1 << layout_.shift_x) - 1) >> layout_.shift_x : width_;
    }
    int plane_height(int p) const {
        return p ? (height_ + (1 << layout_.shift_y) - 1) >> layout_.shift_y : height_;
    }

    VideoLayout layout_{};
    int width_ = 0, height_ = 0;
    bool full_range_ = false;
    // Planes of the interleaved formats, one sample a byte or a word.
    std::vector<std::uint8_t> scratch_[3];
};
