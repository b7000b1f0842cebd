#include "script/engine.h"

#include <cstdio>
#include <cstring>

#include "buffers/store.h"
#include "platform/desktop.h"
#include "platform/system.h"
#include "script/filter_info.h"
#include "script/library.h"

namespace {

constexpr const char* kCaption = "Quorvel";
constexpr const char* kNoMemory = "メモリが確保できません。";

struct EngineState {
    lua_State* lua = nullptr;
    std::FILE* log = nullptr;
    std::string log_path;
    std::int64_t last_check_time = 0;
    int last_script_no = 0;
    std::int64_t last_write_time = 0;
    std::string script_dir;  // ends in the path separator; lfip->script_path points here
};

EngineState engine;
LUA_FILTER_INFO filter_info{};
std::int64_t (*engine_clock)() = platform::clock_seconds;

void close_log() {
    if (engine.log != nullptr) std::fclose(engine.log);
    engine.log = nullptr;
}

// The folder of the edited file, ending in the separator, or false when the
// host reports no file.
bool edited_file_folder(FILTER* fp, FILTER_PROC_INFO* fpip, std::string* folder) {
    if (fp->exfunc == nullptr || fp->exfunc->get_file_info == nullptr) return false;
    FILE_INFO fi{};
    if (!fp->exfunc->get_file_info(fpip->editp, &fi) || fi.name == nullptr || fi.name[0] == '\0')
        return false;
    *folder = platform::add_separator(platform::remove_file_spec(fi.name));
    return true;
}

// Prefixes package.path with the script folder so that require finds the
// script's own modules first.  Done through the API rather than by running a
// chunk, so no folder name (one containing "]]", say) can break it.
void prefix_package_path(lua_State* L, const std::string& dir) {
    lua_getglobal(L, "package");
    if (lua_istable(L, -1)) {
        lua_pushlstring(L, dir.data(), dir.size());
        lua_pushliteral(L, "?.lua;");
        lua_getfield(L, -3, "path");
        if (lua_isstring(L, -1)) {
            lua_concat(L, 3);
        } else {
            lua_pop(L, 1);
            lua_concat(L, 2);
        }
        lua_setfield(L, -2, "path");
    }
    lua_pop(L, 1);
}

struct LoadRequest {
    FILTER* fp;
    FILTER_PROC_INFO* fpip;
};

// Fills a fresh state: standard libraries, the script library, the registry
// records and the module path.  Runs protected, so running out of memory here
// is logged instead of ending the process.
int prepare_state(lua_State* L) {
    auto* request = static_cast<LoadRequest*>(lua_touserdata(L, 1));
    lua_settop(L, 0);
    luaL_openlibs(L);
    register_library(L);
    publish_records(L, request->fp, request->fpip);
    prefix_package_path(L, engine.script_dir);
    return 0;
}

// Loads the script file named by argument 1 and runs its main chunk.
int run_main_chunk(lua_State* L) {
    if (luaL_loadfile(L, lua_tostring(L, 1)) != 0) return lua_error(L);
    lua_call(L, 0, 0);
    return 0;
}

// lua_pcall without results; an error value other than nil goes to the log.
bool pcall_logged(lua_State* L, int args) {
    if (lua_pcall(L, args, 0, 0) == 0) return true;
    if (lua_isnil(L, -1))
        lua_pop(L, 1);
    else
        log_error(L);
    return false;
}

// Runs `step` protected with one argument; logs an error value that is not nil.
bool run_protected(lua_State* L, lua_CFunction step, void* light, const std::string* text) {
    lua_pushcfunction(L, step);
    if (text != nullptr)
        lua_pushlstring(L, text->data(), text->size());
    else
        lua_pushlightuserdata(L, light);
    const bool ok = pcall_logged(L, 1);
    lua_settop(L, 0);
    return ok;
}

void load_script(FILTER* fp, FILTER_PROC_INFO* fpip, const std::string& path) {
    close_log();
    engine.log_path = engine.script_dir + "lua_err.txt";
    platform::remove_file(engine.log_path);

    if (engine.lua != nullptr) lua_close(engine.lua);
    engine.lua = luaL_newstate();
    if (engine.lua == nullptr) {
        platform::message_box(nullptr, kNoMemory, kCaption, MB_OK | MB_ICONHAND);
        return;
    }
    release_all_dynamic();
    LoadRequest request{fp, fpip};
    if (run_protected(engine.lua, prepare_state, &request, nullptr))
        run_protected(engine.lua, run_main_chunk, nullptr, &path);
}

void reload_check(FILTER* fp, FILTER_PROC_INFO* fpip) {
    const std::int64_t now = engine_clock();
    if (now == engine.last_check_time && filter_info.script_no == engine.last_script_no) return;
    engine.last_check_time = now;
    engine.last_script_no = filter_info.script_no;

    std::string folder;
    if (!edited_file_folder(fp, fpip, &folder)) return;
    engine.script_dir = folder;
    filter_info.script_path = engine.script_dir.c_str();
    const std::string path = folder + script_file_name(filter_info.script_no);
    std::int64_t write_time = 0;
    if (!platform::file_write_time(path, &write_time)) return;
    if (write_time == engine.last_write_time) return;
    engine.last_write_time = write_time;
    load_script(fp, fpip, path);
}

void push_int_field(lua_State* L, const char* name, int value) {
    lua_pushinteger(L, value);
    lua_setfield(L, -2, name);
}

void push_frame_table(lua_State* L, const FILTER_PROC_INFO* fpip) {
    lua_createtable(L, 0, 7);
    push_int_field(L, "frame", fpip->frame);
    push_int_field(L, "frame_n", fpip->frame_n);
    push_int_field(L, "w", fpip->w);
    push_int_field(L, "h", fpip->h);
    push_int_field(L, "max_w", fpip->max_w);
    push_int_field(L, "max_h", fpip->max_h);
    lua_pushlstring(L, engine.script_dir.data(), engine.script_dir.size());
    lua_setfield(L, -2, "script_path");
}

void push_vars_table(lua_State* L) {
    const LUA_FILTER_INFO& f = filter_info;
    lua_createtable(L, 0, 9);
    push_int_field(L, "a", f.a);
    push_int_field(L, "b", f.b);
    push_int_field(L, "c", f.c);
    push_int_field(L, "d", f.d);
    push_int_field(L, "u", f.u);
    push_int_field(L, "v", f.v);
    push_int_field(L, "x", f.x);
    push_int_field(L, "y", f.y);
    push_int_field(L, "z", f.z);
}

// Calls video_filter; true when it ran to the end without an error.
bool call_video_filter(lua_State* L, FILTER* fp, FILTER_PROC_INFO* fpip) {
    const int top = lua_gettop(L);
    publish_records(L, fp, fpip);
    lua_getglobal(L, "video_filter");
    if (!lua_isfunction(L, -1)) {
        log_line("video_filter()が定義されていません");
        lua_settop(L, top);
        return false;
    }
    push_frame_table(L, fpip);
    push_vars_table(L);
    const bool ok = pcall_logged(L, 2);
    lua_settop(L, top);
    return ok;
}

void show_display_buffer(FILTER* fp, FILTER_PROC_INFO* fpip) {
    const int n = fp->track[kTrackDisplay];
    if (n == 0) return;
    const PIXEL_YC* source = get_buffer(n);
    PIXEL_YC* output = get_buffer(0);
    if (source == nullptr || output == nullptr || source == output) return;
    const std::size_t pixels =
        static_cast<std::size_t>(fpip->max_w) * static_cast<std::size_t>(fpip->max_h);
    std::memcpy(output, source, pixels * sizeof(PIXEL_YC));
}

}  // namespace

std::string script_file_name(int script_no) {
    if (script_no == 0) return "filter.lua";
    return "filter" + std::to_string(script_no) + ".lua";
}

int run_frame(FILTER* fp, FILTER_PROC_INFO* fpip) {
    if (!setup_slots(fpip)) {
        platform::message_box(nullptr, kNoMemory, kCaption, MB_OK | MB_ICONHAND);
        return 0;
    }
    fill_filter_info(fp, &filter_info);
    filter_info.script_path = engine.script_dir.c_str();
    reload_check(fp, fpip);
    if (engine.lua != nullptr && !call_video_filter(engine.lua, fp, fpip)) return 1;
    show_display_buffer(fp, fpip);
    return 1;
}

void close_engine() {
    if (engine.lua != nullptr) lua_close(engine.lua);
    engine.lua = nullptr;
    close_log();
    // Forget what the reload check saw, so that frames after an exit load the
    // script afresh instead of running without one.
    engine = EngineState{};
}

void set_engine_clock(std::int64_t (*clock)()) { engine_clock = clock ? clock : platform::clock_seconds; }

LUA_FILTER_INFO* engine_filter_info() { return &filter_info; }

bool engine_has_state() { return engine.lua != nullptr; }

void log_line(const char* text) {
    if (engine.log == nullptr) {
        if (engine.log_path.empty()) return;
        engine.log = std::fopen(engine.log_path.c_str(), "w");
        if (engine.log == nullptr) return;
    }
    std::fprintf(engine.log, "%s\n", text);
    std::fflush(engine.log);
}

void log_error(lua_State* L) {
    const char* text = lua_tostring(L, -1);
    log_line(text != nullptr ? text : "(error object is not a string)");
    lua_pop(L, 1);
}

void publish_records(lua_State* L, FILTER* fp, FILTER_PROC_INFO* fpip) {
    lua_getfield(L, LUA_REGISTRYINDEX, "LUA_FILTER_INFO");
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        lua_createtable(L, 0, 10);
        lua_pushvalue(L, -1);
        lua_setfield(L, LUA_REGISTRYINDEX, "LUA_FILTER_INFO");
    }
    lua_pushlightuserdata(L, fp);
    lua_setfield(L, -2, "__filter__");
    lua_pushlightuserdata(L, fpip);
    lua_setfield(L, -2, "__filter_proc_info__");
    lua_pushlightuserdata(L, &filter_info);
    lua_setfield(L, -2, "__lua_filter_info__");
    lua_pop(L, 1);
}
