// The script functions of this room, in two registration tables: the end of
// its bindings.
#include "script/library.h"

#include "script/bindings.h"

const luaL_Reg script_functions[] = {
    {"tickcount", l_tickcount},
    {"msgbox", l_msgbox},
    {nullptr, nullptr},
};

const luaL_Reg buffer_functions[] = {
    {"swapbuf", l_swapbuf},       {"createbuf", l_createbuf},
    {"releasebuf", l_releasebuf}, {"set_frame_n", l_set_frame_n},
    {"copyframe", l_copyframe},   {"dispsize", l_dispsize},
    {nullptr, nullptr},
};
