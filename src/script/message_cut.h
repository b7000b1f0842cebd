// Messages and error texts a script makes are cut to a bounded length
// before they reach the log, a message box or the host: a script that
// raises a 50 MB error every frame must not take the host's memory or disk
// with it.
#pragma once

#include <cstddef>

#include "script/lua.h"

// The most bytes of a message that are kept, the mark included.
constexpr std::size_t kMessageLimit = 4096;
// What replaces the rest of a longer message.
constexpr const char kCutMark[] = "\u2026(cut)";

// How many bytes of `text` (of `size` bytes) to keep before the mark, or
// `size` when it fits whole.  A cut never splits a UTF-8 sequence.
std::size_t message_keep(const char* text, std::size_t size);

// `text` itself when it fits, else a cut copy pushed on the Lua stack (the
// pointer stays valid while it is there).
const char* push_cut_message(lua_State* L, const char* text, std::size_t size);
