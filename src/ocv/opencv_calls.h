// The OpenCV calls of the bridge, on images whose memory the bridge owns.
//
// This is the one file that knows OpenCV: a build that loads OpenCV
// differently (from the plug-in's folder on first use) replaces
// opencv_calls.cpp and nothing else.  OpenCV's errors arrive as
// std::runtime_error carrying OpenCV's own message.
#pragma once

#include <cstddef>
#include <cstdint>

// An image of `height` rows of `width` pixels, rows `stride` bytes apart.
struct BridgeImage {
    void* data = nullptr;
    int width = 0;
    int height = 0;
    std::size_t stride = 0;
};

// Canny edges of an 8-bit one-channel image into another of the same size
// (0 or 255), with the L1 gradient norm.
void opencv_canny(const BridgeImage& input, const BridgeImage& edges, double threshold1,
                  double threshold2, int aperture);

// Reverses the row order of a 16-bit signed three-channel image in place.
void opencv_flip_rows(const BridgeImage& image);
