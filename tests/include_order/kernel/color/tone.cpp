// A kernel that reads its own arguments from Lua.
#include "color/tone.h"
#include "script/binding.h"
