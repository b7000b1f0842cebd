// The two formulas between the stored YCbCr pixel and RGB.
//
// Y and R, G, B are on the 0..4096 scale, Cb and Cr on -2048..2048.  Both
// are double precision in exactly this operation order: every function that
// converts (the colour family, the work arrays of the neighbourhood filters)
// must agree to the last unit, and the truncation of results depends on it.
#pragma once

struct Triple {
    double a, b, c;
};

struct IntTriple {
    int a, b, c;
};

inline Triple yc_to_rgb(double y, double cb, double cr) {
    return {cr * 1.402 + y, (y - cb * 0.344) - cr * 0.714, y + cb * 1.772};
}

inline Triple rgb_to_yc(double r, double g, double b) {
    return {(g * 0.587 + r * 0.299) + b * 0.114, b * 0.5 - (r * 0.169 + g * 0.331),
            (r * 0.5 - g * 0.419) - b * 0.081};
}
