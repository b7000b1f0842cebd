// The Y of a run of pixels into a row of 16-bit cells, and back.
//
// The copies of the work-plane module spend most of their time here when a
// filter's own work is light (morphology, labelling), so the rows are vector
// code compiled for each instruction set and chosen at run time.
#pragma once

#include "platform/aviutl.h"

// out[i] = in[i].y for i < n.
void load_y_row(const PIXEL_YC* in, short* out, int n);

// out[i].y = in[i] for i < n; cb and cr keep their values.
void store_y_row(const short* in, PIXEL_YC* out, int n);
