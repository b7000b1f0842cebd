// The script functions of this subsystem, in one registration table.
#include "script/library.h"

// Morphology and labelling.
int l_erode(lua_State*);
int l_dilate(lua_State*);
int l_open(lua_State*);
int l_close(lua_State*);
int l_label4(lua_State*);
int l_label8(lua_State*);
int l_label2mask(lua_State*);
int l_remove_hole(lua_State*);

const luaL_Reg mask_functions[] = {
    // Morphology and labelling.
    {"erode", l_erode},
    {"dilate", l_dilate},
    {"open", l_open},
    {"close", l_close},
    {"label4", l_label4},
    {"label8", l_label8},
    {"label2mask", l_label2mask},
    {"remove_hole", l_remove_hole},
    {nullptr, nullptr},
};
