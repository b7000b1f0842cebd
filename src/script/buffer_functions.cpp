// Script functions that manage buffers: swapbuf, createbuf, releasebuf.
// They check no argument count; extra arguments are ignored.
#include "buffers/store.h"
#include "script/binding.h"
#include "script/library.h"

namespace {

// swapbuf(): exchanges the host's output and scratch frames (no copy).
int l_swapbuf(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    PIXEL_YC* edit = r.fpip->ycp_edit;
    r.fpip->ycp_edit = r.fpip->ycp_temp;
    r.fpip->ycp_temp = edit;
    set_host_slots(r.fpip->ycp_edit, r.fpip->ycp_temp);
    return 0;
}

// createbuf(): a new zero-filled buffer; returns its number (10000 up).
int l_createbuf(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    const std::size_t pixels = r.frame(nullptr).pixel_count();
    int number = 0;
    switch (create_dynamic_buffer(pixels, &number)) {
        case CreateResult::number_in_use:
            return luaL_error(L, "バッファ番号が既に存在します");
        case CreateResult::no_memory:
            return luaL_error(L, "メモリの確保に失敗しました");
        case CreateResult::ok:
            break;
    }
    lua_pushinteger(L, number);
    return 1;
}

// releasebuf(n): frees dynamic buffer n; other numbers are ignored.
int l_releasebuf(lua_State* L) {
    release_dynamic_buffer(check_int(L, 1));
    return 0;
}

}  // namespace

const LibraryFunction buffer_functions[] = {
    {"swapbuf", l_swapbuf, any_count},
    {"createbuf", l_createbuf, any_count},
    {"releasebuf", l_releasebuf, any_count},
    {},
};
