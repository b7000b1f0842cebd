// Alpha blending of a source rectangle over a destination rectangle.
// Opacities are 12-bit fixed point (4096 = fully the source), unclamped, so
// values above 4096 or below 0 extrapolate.  Each component k becomes
// (S.k * a + D.k * (4096 - a)) >> 12; results keep their low 16 bits unless
// stated.  Areas are already clipped; rows run in parallel.
//
//   alpha_constant      opacity a where S.y > key
//   alpha_masked        opacity M.y at every pixel
//   alpha_masked_keyed  opacity a where M.y > key
//   alpha_yc            opacities ay, acb, acr per component, results saturated
//   alpha_rgb           blends in RGB (truncated yc_to_rgb) with ar, ag, ab,
//                       saturates each channel, converts back by rgb_to_yc
//                       (truncated, stored without clamping)
#pragma once

#include "buffers/areas.h"
#include "buffers/frame.h"
#include "draw/copy.h"

void alpha_constant(const Frame& src, const Frame& dst, const PairArea& area, int a, int key);
void alpha_masked(const Frame& src, const Frame& dst, const Frame& mask, const MaskedArea& area);
void alpha_masked_keyed(const Frame& src, const Frame& dst, const Frame& mask,
                        const MaskedArea& area, int a, int key);
void alpha_yc(const Frame& src, const Frame& dst, const PairArea& area, int ay, int acb, int acr);
void alpha_rgb(const Frame& src, const Frame& dst, const PairArea& area, int ar, int ag, int ab);
