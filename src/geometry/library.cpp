// The script functions of this subsystem, in one registration table.
#include "geometry/bindings.h"
#include "script/library.h"

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
