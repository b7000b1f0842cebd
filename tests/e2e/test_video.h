// Videos that the tests make themselves with FFmpeg's libraries, and the
// reading back of what quorvel encoded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ClipRecipe {
    int w = 64, h = 48, frames = 12;
    std::string encoder = "libx264";  // lossless: qp 0 for libx264, FFV1 always
    std::string pix_fmt = "yuv420p";  // yuv420p, yuv422p10le, ...
    int rate = 25;
    int gop = 4;         // frames from one key frame to the next
    bool audio = false;  // an AAC track as long as the video
    // Frame k's timestamp in units of 1/time_scale s; empty: k / rate.  In an
    // AVI (time_scale = rate) a gap becomes the container's drop frames.
    std::vector<std::int64_t> pts;
    int time_scale = 0;
    // The audio is silent until this frame's time and a loud tone after it,
    // so that its onset marks that frame; -1: a quiet tone all along.
    int beep_frame = -1;
    // The display matrix's rotation: the clockwise angle given to
    // av_display_rotation_set (ffprobe reports the opposite: a phone's
    // portrait clip, "rotation of -90 degrees", is 90 here); 0: none.
    int rotation = 0;
};

// Frame k's time in seconds.
double frame_time(const ClipRecipe& video, int k);

// The sample of plane p (0 Y, 1 Cb, 2 Cr) at plane coordinates (x, y) in
// frame k: a different pattern in every frame, within the legal range of
// limited-range video at `bits`.
int test_sample(int k, int p, int x, int y, int bits);

// Writes the video (the container follows the name); "" or the error.
std::string make_video(const std::string& path, const ClipRecipe& video);

// A decoded video: every frame's planes, the samples as ints.
struct DecodedVideo {
    std::string error;
    int w = 0, h = 0, bits = 8, shift_x = 1, shift_y = 1;
    std::string codec, pix_fmt;
    bool has_audio = false;
    double video_seconds = 0, audio_seconds = 0;
    double video_start = 0, audio_start = 0;  // the first packet's time of each
    double rotation = 0;  // the display matrix's (av_display_rotation_get), 0 without one
    std::vector<double> frame_times;  // each decoded frame's, in seconds
    // The first decoded audio sample louder than the quiet tone, in seconds
    // of the file; -1 when there is none.
    double beep_onset = -1;
    std::vector<std::vector<std::vector<int>>> frames;  // [frame][plane][y * plane width + x]
    int plane_w(int p) const { return p ? (w + (1 << shift_x) - 1) >> shift_x : w; }
    int at(int k, int p, int x, int y) const {
        return frames[k][p][static_cast<std::size_t>(y) * plane_w(p) + x];
    }
};
DecodedVideo read_video(const std::string& path);

// Breaks the bytes in the middle of the k-th video chunk of an AVI.
std::string damage_avi_chunk(std::string avi, int k);
