// Colour-key masks: a grade per pixel from a box of colour values.
//
// Each kernel reads the w x h area of `src` at (sx, sy), converts every pixel
// to three integer components, grades them with key_box_grade and writes the
// grade as a mask pixel at (dx, dy) of `dst`.  The area is already clipped.
// src and dst may be the same buffer with the same position (in-place).
//
//   key_mask_yc       components Y, Cb, Cr as stored
//   key_mask_rgb      R, G, B by yc_to_rgb, each truncated (no clamping)
//   key_mask_hsv      H, S, V by rgb_to_hsv on unrounded RGB, then truncated
//   key_mask_hsv_int  H, S, V by rgb_to_hsv_int on truncated RGB
//
// For the two HSV kernels a hue range that passes through 0 (lower bound
// above the upper, both already in 0..3599) is unrolled into one plain
// interval around 0 (key_rule in key_pixel.h, which also holds the
// per-pixel rule of each kernel).
#pragma once

#include "buffers/areas.h"
#include "buffers/frame.h"
#include "mask/grade.h"
#include "mask/key_box.h"

void key_mask_yc(const Frame& src, const Frame& dst, const PairArea& area, const KeyBox& box);
void key_mask_rgb(const Frame& src, const Frame& dst, const PairArea& area, const KeyBox& box);
void key_mask_hsv(const Frame& src, const Frame& dst, const PairArea& area, const KeyBox& box);
void key_mask_hsv_int(const Frame& src, const Frame& dst, const PairArea& area, const KeyBox& box);
