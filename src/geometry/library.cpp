// The script functions of this room, in one registration table: the end of
// its bindings.
#include "script/library.h"

#include "geometry/bindings.h"

const luaL_Reg geometry_functions[] = {
    // Flips and mosaic.
    {"flipv", l_flipv},
    {"fliph", l_fliph},
    {"mosaic", l_mosaic},
    // Resampling transforms.
    {"resize", l_resize},
    {"rotate", l_rotate},
    {"affine", l_affine},
    {nullptr, nullptr},
};
