#include "color/color_info.h"

#include <cstdio>

#include "buffers/numeric.h"
#include "color/convert.h"

void format_color_info(char (&out)[kColorInfoSize], int x, int y, const PIXEL_YC& p) {
    const Triple rgb = yc_to_rgb(p.y, p.cb, p.cr);
    const Triple hsv = rgb_to_hsv(rgb.a, rgb.b, rgb.c);
    const Triple hp = hsv_to_hsv_p(hsv.a, hsv.b, hsv.c, 1, 1);
    const Triple hc = hsv_to_hsv_c(hsv.a, hsv.b, hsv.c, 1, 1);
    const Triple xyz = rgb_to_xyz(rgb.a, rgb.b, rgb.c);
    const Triple lab = xyz_to_lab(xyz.a, xyz.b, xyz.c);
    std::snprintf(out, kColorInfoSize,
                  "座標： x=%d, y=%d\n"
                  "Y,Cb,Cr = %6d,%6d,%6d\n"
                  "R,G,B = %6d,%6d,%6d\n"
                  "H,S,V = %6d,%6d,%6d\n"
                  "HSV_P = %.2f,%.2f,%.2f\n"
                  "HSV_C = %.2f,%.2f,%.2f\n"
                  "X,Y,Z = %.2f, %.2f, %.2f\n"
                  "L,a*,b* = %.2f, %.2f, %.2f\n",
                  x, y, p.y, p.cb, p.cr, trunc_to_int(rgb.a), trunc_to_int(rgb.b),
                  trunc_to_int(rgb.c), trunc_to_int(hsv.a), trunc_to_int(hsv.b),
                  trunc_to_int(hsv.c), hp.a, hp.b, hp.c, hc.a, hc.b, hc.c, xyz.a, xyz.b, xyz.c,
                  lab.a, lab.b, lab.c);
}
