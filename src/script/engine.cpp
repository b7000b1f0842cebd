#include "script/engine.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "buffers/store.h"
#include "platform/desktop.h"
#include "platform/system.h"
#include "platform/work_deadline.h"
#include "script/budget_guards.h"
#include "script/filter_info.h"
#include "script/guarded_patterns.h"
#include "script/library.h"
#include "script/message_cut.h"
#include "script/sandbox.h"

namespace {

constexpr const char* kCaption = "Quorvel";
constexpr const char* kNoMemory = "メモリが確保できません。";

// The error log is rotated when it reaches this size: the full log becomes
// "lua_err.txt.1" (replacing an older one) and a new one starts, so a
// script's errors take at most twice this much disk.
constexpr long kLogRotateBytes = 1 << 20;

struct EngineState {
    lua_State* lua = nullptr;
    std::FILE* log = nullptr;
    long log_bytes = 0;  // written to the open log
    std::string log_path;
    std::int64_t last_check_time = 0;
    int last_script_no = 0;
    std::int64_t last_write_time = 0;
    std::string script_dir;    // ends in the path separator; lfip->script_path points here
    std::string refused_path;  // a script path reported as not a regular file
};

EngineState engine;
LUA_FILTER_INFO filter_info{};
std::int64_t (*engine_clock)() = platform::clock_seconds;
ScriptLimits limits = default_script_limits();
void (*log_listener)(const char* text) = nullptr;

// Bytes the Lua state holds, against limits.memory_bytes.
std::size_t lua_bytes = 0;

// Where a Lua panic leaves to: the frame being run is abandoned.
std::jmp_buf* panic_exit = nullptr;

// Lua's allocator with a cap: a request that would take the state beyond
// the limit fails as Lua expects (its "not enough memory" error), and
// shrinking never fails.
void* limited_alloc(void*, void* block, std::size_t old_size, std::size_t new_size) {
    if (new_size == 0) {
        std::free(block);
        lua_bytes -= old_size;
        return nullptr;
    }
    if (new_size > old_size && limits.memory_bytes != 0 &&
        new_size - old_size > limits.memory_bytes - std::min(lua_bytes, limits.memory_bytes))
        return nullptr;
    void* grown = std::realloc(block, new_size);
    if (grown == nullptr) return nullptr;
    lua_bytes = lua_bytes - old_size + new_size;
    return grown;
}

constexpr int kBudgetCheckInterval = 4096;  // instructions between clock reads

// Runs every few thousand instructions; ends a run that is over its budget
// with the budget error.  Native work that saw the deadline pass returned
// early, and the script ends here within a few thousand instructions.
void budget_hook(lua_State* L, lua_Debug*) {
    if (!work_deadline::passed()) return;
    raise_budget_error(L);
}

void install_budget(lua_State* L) {
    if (limits.frame_timeout_seconds > 0)
        lua_sethook(L, budget_hook, LUA_MASKCOUNT, kBudgetCheckInterval);
    else
        lua_sethook(L, nullptr, 0, 0);
}

void start_budget(lua_State* L) {
    install_budget(L);
    // The end of the current frame's time budget; native work sees it too.
    work_deadline::set(limits.frame_timeout_seconds > 0
                           ? platform::monotonic_ms() +
                                 static_cast<std::int64_t>(limits.frame_timeout_seconds * 1000)
                           : 0);
}

// Closing a state runs its finalisers, which get a frame's budget like any
// other script code (budget_guards.h): a finaliser that loops cannot hold
// the host at a reload or at its exit.
void close_state(lua_State* L) {
    start_budget(L);
    lua_close(L);
    work_deadline::set(0);
}

// An error outside every protected call.  Everything the engine does with
// Lua runs protected, so this is a last line: log and leave the frame.
int on_panic(lua_State* L) {
    char text[512];
    const char* what = lua_tostring(L, -1);
    std::snprintf(text, sizeof text, "unprotected error in call to Lua API (%s)",
                  what != nullptr ? what : "no message");
    log_line(text);
    if (panic_exit != nullptr) std::longjmp(*panic_exit, 1);
    return 0;
}

lua_State* new_state() {
    lua_State* L = lua_newstate(limited_alloc, nullptr);
    if (L == nullptr) return nullptr;
    lua_atpanic(L, on_panic);
    install_budget(L);
    set_dynamic_buffer_limit(limits.memory_bytes);
    return L;
}

void close_log() {
    if (engine.log != nullptr) std::fclose(engine.log);
    engine.log = nullptr;
    engine.log_bytes = 0;
}

std::string rotated_log_path() { return engine.log_path + ".1"; }

// Moves a full log aside and starts a new one.  Where the log cannot be
// renamed (a reader holds it open on Windows) it starts again empty.
void rotate_log() {
    close_log();
    platform::remove_file(rotated_log_path());
    if (std::rename(engine.log_path.c_str(), rotated_log_path().c_str()) != 0)
        platform::remove_file(engine.log_path);
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
    const char* path;
};

// Fills a fresh state: standard libraries, the script library, the registry
// records and the module path.
int prepare_state(lua_State* L) {
    auto* request = static_cast<LoadRequest*>(lua_touserdata(L, 1));
    lua_settop(L, 0);
    luaL_openlibs(L);
    install_guarded_patterns(L);
    install_budget_guards(L);
    register_library(L);
    publish_records(L, request->fp, request->fpip);
    prefix_package_path(L, engine.script_dir);
    if (limits.sandbox) apply_sandbox(L, engine.script_dir.c_str());
    return 0;
}

// Loads the script file and runs its main chunk.
int run_main_chunk(lua_State* L) {
    auto* request = static_cast<LoadRequest*>(lua_touserdata(L, 1));
    if (limits.sandbox)
        load_sandboxed_file(L, request->path);
    else if (luaL_loadfile(L, request->path) != 0)
        return lua_error(L);
    lua_call(L, 0, 0);
    return 0;
}

// Runs `step` protected (lua_cpcall: even the call's own set-up cannot raise
// outside protection) and logs its error.  The stack is left as it was.
bool run_protected(lua_State* L, lua_CFunction step, void* request) {
    const int top = lua_gettop(L);
    const bool ok = lua_cpcall(L, step, request) == 0;
    if (!ok) log_error(L);
    lua_settop(L, top);
    return ok;
}

void load_script(FILTER* fp, FILTER_PROC_INFO* fpip, const std::string& path) {
    close_log();
    engine.log_path = engine.script_dir + "lua_err.txt";
    platform::remove_file(engine.log_path);
    platform::remove_file(rotated_log_path());

    if (engine.lua != nullptr) close_state(engine.lua);
    engine.lua = new_state();
    if (engine.lua == nullptr) {
        platform::message_box(nullptr, kNoMemory, kCaption, MB_OK | MB_ICONHAND);
        return;
    }
    release_all_dynamic();
    LoadRequest request{fp, fpip, path.c_str()};
    start_budget(engine.lua);
    if (run_protected(engine.lua, prepare_state, &request))
        run_protected(engine.lua, run_main_chunk, &request);
    work_deadline::set(0);
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
    const platform::FileCheck found = platform::file_write_time(path, &write_time);
    if (found == platform::FileCheck::not_regular && engine.refused_path != path) {
        // Only regular files are scripts: a FIFO or a device could block the
        // editor at every check.  Said once per path.
        engine.refused_path = path;
        if (engine.log_path.empty()) engine.log_path = engine.script_dir + "lua_err.txt";
        log_line((path + ": not a regular file").c_str());
    }
    if (found != platform::FileCheck::ok) return;
    engine.refused_path.clear();
    if (write_time == engine.last_write_time) return;
    engine.last_write_time = write_time;
    load_script(fp, fpip, path);
}

void push_int_field(lua_State* L, const char* name, int value) {
    lua_pushinteger(L, value);
    lua_setfield(L, -2, name);
}

void push_frame_table(lua_State* L, const FILTER* fp, const FILTER_PROC_INFO* fpip) {
    lua_createtable(L, 0, 8);
    push_int_field(L, "frame", fpip->frame);
    push_int_field(L, "frame_n", fpip->frame_n);
    push_int_field(L, "w", fpip->w);
    push_int_field(L, "h", fpip->h);
    push_int_field(L, "max_w", fpip->max_w);
    push_int_field(L, "max_h", fpip->max_h);
    lua_pushlstring(L, engine.script_dir.data(), engine.script_dir.size());
    lua_setfield(L, -2, "script_path");
    lua_pushnumber(L, edited_frame_rate(fp, fpip->editp));
    lua_setfield(L, -2, "fps");
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

struct FrameCall {
    FILTER* fp;
    FILTER_PROC_INFO* fpip;
    bool defined;
};

// Publishes the records, builds the two tables and calls video_filter, all
// protected: a collector metamethod or an allocation failure while the
// tables are built is a script error like any other.
int frame_call(lua_State* L) {
    auto* call = static_cast<FrameCall*>(lua_touserdata(L, 1));
    lua_settop(L, 0);
    publish_records(L, call->fp, call->fpip);
    lua_getglobal(L, "video_filter");
    if (!lua_isfunction(L, -1)) {
        call->defined = false;
        return 0;
    }
    push_frame_table(L, call->fp, call->fpip);
    push_vars_table(L);
    lua_call(L, 2, 0);
    return 0;
}

// Calls video_filter; true when it ran to the end without an error.
bool call_video_filter(lua_State* L, FILTER* fp, FILTER_PROC_INFO* fpip) {
    FrameCall call{fp, fpip, true};
    start_budget(L);
    const bool ok = run_protected(L, frame_call, &call);
    work_deadline::set(0);
    if (!call.defined) {
        log_line("video_filter()が定義されていません");
        return false;
    }
    return ok;
}

// The script's part of a frame: the reload check and the call.  False when
// the call failed or a Lua panic abandoned it.
bool script_part(FILTER* fp, FILTER_PROC_INFO* fpip) {
    reload_check(fp, fpip);
    return engine.lua == nullptr || call_video_filter(engine.lua, fp, fpip);
}

// Runs script_part with a way out for a Lua panic.  After a panic the state
// cannot be trusted: it is dropped (not closed, which could panic again)
// and the script is loaded afresh at the next check.
bool script_part_guarded(FILTER* fp, FILTER_PROC_INFO* fpip) {
    std::jmp_buf here;
    std::jmp_buf* const outer = panic_exit;
    panic_exit = &here;
    if (setjmp(here) == 0) {
        const bool ok = script_part(fp, fpip);
        panic_exit = outer;
        return ok;
    }
    panic_exit = outer;
    work_deadline::set(0);
    engine.lua = nullptr;
    engine.last_write_time = 0;
    engine.last_check_time = 0;
    return false;
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
    if (!script_part_guarded(fp, fpip)) return 1;
    show_display_buffer(fp, fpip);
    return 1;
}

ScriptLimits default_script_limits() {
    ScriptLimits l;
    l.frame_timeout_seconds = 30;
    l.memory_bytes = static_cast<std::size_t>(platform::physical_memory() / 2);
    return l;
}

void set_script_limits(const ScriptLimits& l) {
    limits = l;
    if (!(limits.frame_timeout_seconds >= 0)) limits.frame_timeout_seconds = 0;
    // Buffers made by createbuf count against the same cap as the Lua heap.
    set_dynamic_buffer_limit(limits.memory_bytes);
    if (engine.lua != nullptr) install_budget(engine.lua);
}

ScriptLimits script_limits() { return limits; }

int raise_budget_error(lua_State* L) {
    // From now on the hook runs at every instruction, so a script that
    // catches the error with pcall meets it again at once, outside the
    // pcall, until the error reaches the engine.
    lua_sethook(L, budget_hook, LUA_MASKCOUNT, 1);
    char text[96];
    std::snprintf(text, sizeof text, "script took longer than %g s in this frame",
                  limits.frame_timeout_seconds);
    return luaL_error(L, "%s", text);
}

void close_engine() {
    if (engine.lua != nullptr) close_state(engine.lua);
    engine.lua = nullptr;
    close_log();
    // Forget what the reload check saw, so that frames after an exit load the
    // script afresh instead of running without one.
    engine = EngineState{};
}

void set_engine_clock(std::int64_t (*clock)()) {
    engine_clock = clock ? clock : platform::clock_seconds;
}

LUA_FILTER_INFO* engine_filter_info() { return &filter_info; }

bool engine_has_state() { return engine.lua != nullptr; }

void set_log_listener(void (*listener)(const char* text)) { log_listener = listener; }

void log_line(const char* text) {
    const std::size_t size = std::strlen(text);
    const std::size_t keep = message_keep(text, size);
    if (log_listener != nullptr) {
        // The listener hears the line as the log keeps it.
        if (keep == size) {
            log_listener(text);
        } else {
            char cut[kMessageLimit + sizeof kCutMark];
            std::memcpy(cut, text, keep);
            std::memcpy(cut + keep, kCutMark, sizeof kCutMark);
            log_listener(cut);
        }
    }
    const long line_bytes = static_cast<long>(keep + (keep < size ? sizeof kCutMark - 1 : 0) + 1);
    if (engine.log != nullptr && engine.log_bytes + line_bytes > kLogRotateBytes) rotate_log();
    if (engine.log == nullptr) {
        if (engine.log_path.empty()) return;
        engine.log = std::fopen(engine.log_path.c_str(), "w");
        if (engine.log == nullptr) return;
    }
    std::fwrite(text, 1, keep, engine.log);
    if (keep < size) std::fputs(kCutMark, engine.log);
    std::fputc('\n', engine.log);
    std::fflush(engine.log);
    engine.log_bytes += line_bytes;
}

void log_error(lua_State* L) {
    const char* text = lua_tostring(L, -1);
    if (text == nullptr)
        text = lua_isnil(L, -1) ? "(error object is nil)" : "(error object is not a string)";
    log_line(text);
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
