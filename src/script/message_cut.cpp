#include "script/message_cut.h"

std::size_t message_keep(const char* text, std::size_t size) {
    if (size <= kMessageLimit) return size;
    std::size_t keep = kMessageLimit - (sizeof kCutMark - 1);
    // Back to the start of a UTF-8 sequence (a byte that is not 10xxxxxx).
    while (keep > 0 && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80) --keep;
    return keep;
}

const char* push_cut_message(lua_State* L, const char* text, std::size_t size) {
    const std::size_t keep = message_keep(text, size);
    if (keep == size) return text;
    lua_pushlstring(L, text, keep);
    lua_pushlstring(L, kCutMark, sizeof kCutMark - 1);
    lua_concat(L, 2);
    return lua_tostring(L, -1);
}
