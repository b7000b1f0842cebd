// Fuzzes the script library: each input is decoded into a sequence of calls
// of registered functions, mostly with argument counts that each function's
// table row accepts, and argument values from the edge-prone set (limits of
// the integer types, NaN, infinities, fractions, buffer numbers that do and
// do not exist, strings, nested and sparse tables, callbacks that raise or
// release buffers).  The calls run on small frames.  A crash, leak or
// sanitizer report is a finding, and so is a single call that runs for more
// than a second.
//
// The string functions (find, match, gmatch, gsub on the guarded matcher)
// are among the calls, with pattern-like texts and long subjects, and
// median and gaussian often get windows far larger than the frame.  Every
// call runs with a frame deadline a quarter of a second away, as a script's
// frame would, so a pattern that backtracks without end must stop there.
#include <fuzzer/FuzzedDataProvider.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "buffers/store.h"
#include "platform/desktop.h"
#include "platform/system.h"
#include "platform/thread_pool.h"
#include "platform/work_deadline.h"
#include "script/engine.h"
#include "script/filter_info.h"
#include "script/guarded_patterns.h"
#include "script/library.h"
#include "script/lua.h"

namespace {

constexpr int kPictureW = 40, kPictureH = 24;  // the visible picture
constexpr int kMaxW = 48, kMaxH = 30;          // the buffers, a little larger
constexpr int kMaxCalls = 24;
constexpr int kMaxArgs = 20;
// A call slower than this is a finding (QUORVEL_FUZZ_SLOW overrides, in seconds).
const double kSlowCall =
    std::getenv("QUORVEL_FUZZ_SLOW") ? std::atof(std::getenv("QUORVEL_FUZZ_SLOW")) : 1.0;

struct Function {
    const char* name;
    std::vector<int> counts;  // accepted argument counts; empty: any
};

struct Harness {
    std::vector<PIXEL_YC> edit, temp, other;
    int tracks[12] = {0, 2, 0, 0, 0, 0, 0, 0, 0, 2048, 2048, 2048};
    int checks[1] = {0};
    EXFUNC exfunc{};
    FILTER fp{};
    FILTER_PROC_INFO fpip{};
    lua_State* L = nullptr;
    std::vector<Function> functions;
};

Harness* harness = nullptr;

int silent_box(void*, const char*, const char*, unsigned) { return IDOK; }
void* no_window(const char*) { return nullptr; }
void no_message(void*, unsigned, std::uintptr_t, std::intptr_t) {}
const DesktopServices quiet_desktop = {silent_box, no_window, no_message};

// Editor services: other frames exist for small frame numbers only.
BOOL set_frame_n(void*, int) { return TRUE; }
BOOL cache_size(void*, int, int, int, int) { return TRUE; }
void* other_frame(void*, void*, int n, int*, int*) {
    return n >= 0 && n < 4 ? harness->other.data() : nullptr;
}
BOOL file_info(void*, FILE_INFO* fi) {
    fi->name = "/tmp/quorvel-fuzz/movie.avi";
    return TRUE;
}

void reset_frame(Harness& h) {
    h.fpip.ycp_edit = h.edit.data();
    h.fpip.ycp_temp = h.temp.data();
    h.fpip.w = kPictureW;
    h.fpip.h = kPictureH;
    h.fpip.max_w = kMaxW;
    h.fpip.max_h = kMaxH;
    h.fpip.frame = 1;
    h.fpip.frame_n = 4;
    setup_slots(&h.fpip);
    fill_filter_info(&h.fp, engine_filter_info());
    publish_records(h.L, &h.fp, &h.fpip);
}

Harness* make_harness() {
    auto* h = new Harness;
    const std::size_t pixels = static_cast<std::size_t>(kMaxW) * kMaxH;
    h->edit.assign(pixels, {1000, 100, -100});
    h->temp.assign(pixels, {0, 0, 0});
    h->other.assign(pixels, {2000, -300, 300});
    h->exfunc.set_frame_n = set_frame_n;
    h->exfunc.set_ycp_filtering_cache_size = cache_size;
    h->exfunc.get_ycp_filtering_cache_ex = other_frame;
    h->exfunc.get_file_info = file_info;
    h->fp.track = h->tracks;
    h->fp.check = h->checks;
    h->fp.exfunc = &h->exfunc;
    platform::set_desktop(&quiet_desktop);
    pool::set_worker_count(2);
    h->L = luaL_newstate();
    luaL_openlibs(h->L);
    lua_cpcall(
        h->L, [](lua_State* L) { return install_guarded_patterns(L), 0; }, nullptr);
    register_library(h->L);
    // The string functions as globals; gmatch runs its iterator to the end
    // (or 200 matches).
    luaL_dostring(h->L,
                  "find, match, gsub = string.find, string.match, string.gsub\n"
                  "function gmatch_all(s, p) local n = 0 for a in string.gmatch(s, p) do\n"
                  "  n = n + 1 if n == 200 then break end end return n end\n");
    harness = h;
    reset_frame(*h);
    for (const LibraryFunction* row : library_functions())
        h->functions.push_back({row->name, row->counts.listed()});
    // The string functions take the language's own argument forms.
    h->functions.push_back({"find", {2, 3, 4}});
    h->functions.push_back({"match", {2, 3}});
    h->functions.push_back({"gmatch_all", {2}});
    h->functions.push_back({"gsub", {3, 4}});
    lua_settop(h->L, 0);
    return h;
}

double edge_number(FuzzedDataProvider& in) {
    static const double values[] = {0,
                                    1,
                                    -1,
                                    2,
                                    -2,
                                    0.5,
                                    -0.5,
                                    2.9,
                                    -2.9,
                                    3,
                                    4,
                                    5,
                                    7,
                                    16,
                                    255,
                                    256,
                                    4095,
                                    4096,
                                    4097,
                                    -4096,
                                    32767,
                                    32768,
                                    -32768,
                                    -32769,
                                    65535,
                                    65536,
                                    2147483647.0,
                                    2147483648.0,
                                    -2147483648.0,
                                    -2147483649.0,
                                    4294967296.0,
                                    9007199254740992.0,
                                    -9007199254740992.0,
                                    1e300,
                                    -1e300,
                                    std::numeric_limits<double>::infinity(),
                                    -std::numeric_limits<double>::infinity(),
                                    std::numeric_limits<double>::quiet_NaN(),
                                    1e-300,
                                    kPictureW,
                                    kPictureH,
                                    kMaxW,
                                    kMaxH,
                                    kMaxW + 1,
                                    -kMaxW,
                                    10000,
                                    10001,
                                    19,
                                    20,
                                    25};
    switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0:
            return in.PickValueInArray(values);
        case 1:
            return in.ConsumeIntegralInRange(-2, 25);  // buffer numbers and small sizes
        case 2:
            return in.ConsumeIntegralInRange(-64, 64);
        default:
            return in.ConsumeFloatingPoint<double>();
    }
}

void push_table(lua_State* L, FuzzedDataProvider& in, int depth) {
    const int rows = in.ConsumeIntegralInRange(0, 6);
    lua_createtable(L, rows, 0);
    for (int i = 1; i <= rows; ++i) {
        const int kind = in.ConsumeIntegralInRange(0, 4);
        if (kind == 0 && depth < 2) {
            push_table(L, in, depth + 1);
        } else if (kind == 1) {
            lua_pushstring(L, "x");
        } else if (kind == 2) {
            continue;  // a hole
        } else {
            lua_pushnumber(L, edge_number(in));
        }
        lua_rawseti(L, -2, in.ConsumeBool() ? i : in.ConsumeIntegralInRange(-2, 40));
    }
}

// Callbacks of the per-pixel functions and the rest: plain results, wrong
// results, errors, and calls that change the buffers under the caller.
const char* const callbacks[] = {
    "return function(a, b, c) return a, b, c end",
    "return function(a, b, c) return c, a end",
    "return function() return 1e308, -1e308, 0/0 end",
    "return function() return 'x', {}, nil end",
    "return function() error('callback raised') end",
    "return function() error() end",
    "return function() releasebuf(10000) swapbuf(0, 1) return 0, 0, 0 end",
    "return function() dispsize(1, 1) createbuf() return 4096, 0, 0 end",
};

// A text made of pattern characters, or a long subject for one.
void push_pattern_text(lua_State* L, FuzzedDataProvider& in) {
    static const char alphabet[] = "aab%.()[]^$*+-?bf1dswAZ";
    if (in.ConsumeIntegralInRange(0, 3) == 0) {
        const std::size_t n = in.PickValueInArray({100, 5000, 200000});
        std::string s(n, in.ConsumeBool() ? 'a' : '(');
        if (in.ConsumeBool()) s.back() = 'b';
        lua_pushlstring(L, s.data(), s.size());
        return;
    }
    std::string s;
    const int n = in.ConsumeIntegralInRange(0, 40);
    for (int i = 0; i < n; ++i)
        s += alphabet[in.ConsumeIntegralInRange<std::size_t>(0, sizeof alphabet - 2)];
    lua_pushlstring(L, s.data(), s.size());
}

// A window or kernel size far beyond the frame.
double large_window(FuzzedDataProvider& in) {
    static const double values[] = {kMaxW, kMaxH, kMaxW + 1, 1000, 65535, 65536, 1e6, 2147483647.0};
    return in.PickValueInArray(values);
}

void push_argument(lua_State* L, FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 10)) {
        case 0:
        case 1:
        case 2:
        case 3:
        case 4:
            lua_pushnumber(L, edge_number(in));
            break;
        case 5: {
            const std::string s = in.ConsumeRandomLengthString(24);
            lua_pushlstring(L, s.data(), s.size());
            break;
        }
        case 6:
            push_table(L, in, 0);
            break;
        case 7:
            if (luaL_loadstring(L, in.PickValueInArray(callbacks)) != 0 ||
                lua_pcall(L, 0, 1, 0) != 0)
                lua_pushnil(L);
            break;
        case 8:
            lua_pushboolean(L, in.ConsumeBool());
            break;
        case 9:
            push_pattern_text(L, in);
            break;
        default:
            lua_pushnil(L);
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Harness* h = make_harness();
    lua_State* L = h->L;
    FuzzedDataProvider in(data, size);
    reset_frame(*h);
    for (int call = 0; call < kMaxCalls && in.remaining_bytes() > 0; ++call) {
        const Function& f =
            h->functions[in.ConsumeIntegralInRange<std::size_t>(0, h->functions.size() - 1)];
        int count;
        if (!f.counts.empty() && in.ConsumeIntegralInRange(0, 7) != 0)
            count = f.counts[in.ConsumeIntegralInRange<std::size_t>(0, f.counts.size() - 1)];
        else
            count = in.ConsumeIntegralInRange(0, kMaxArgs);
        lua_getglobal(L, f.name);
        const bool windowed = (std::strcmp(f.name, "median") == 0 && count == 10) ||
                              (std::strcmp(f.name, "gaussian") == 0 && count == 9);
        const bool large = windowed && in.ConsumeBool();
        for (int k = 0; k < count; ++k) {
            if (large && k >= 8)
                lua_pushnumber(L, large_window(in));
            else
                push_argument(L, in);
        }
        const auto start = std::chrono::steady_clock::now();
        work_deadline::set(platform::monotonic_ms() + 250);
        if (lua_pcall(L, count, LUA_MULTRET, 0) != 0) lua_pop(L, 1);
        work_deadline::set(0);
        // A budget error leaves the count hook on at every instruction.
        lua_sethook(L, nullptr, 0, 0);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (seconds > kSlowCall) {
            std::fprintf(stderr, "%s with %d arguments took %.1f s\n", f.name, count, seconds);
            std::abort();
        }
        lua_settop(L, 0);
    }
    // What the calls changed that belongs to the host goes back.
    release_all_dynamic();
    lua_gc(L, LUA_GCCOLLECT, 0);
    return 0;
}
