// The guarded string.find, string.match, string.gmatch and string.gsub
// against the engine's own, on random patterns and subjects: every class
// (and its complement), sets with ranges, classes and negation, anchors,
// captures and position captures, %b, %f, back-references, the four
// repetition marks, malformed patterns, and every replacement form (string
// with %0..%9 and other escapes, number, table, function, a wrong type).
// Results, including error messages, must be the same wherever the
// engine's own finished; ours may only add "pattern too complex".
//
// QUORVEL_PATTERN_CASES sets the number of rounds (default 4000; each round
// compares about a dozen calls).
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

#include "platform/work_deadline.h"
#include "script/guarded_patterns.h"
#include "script/lua.h"

namespace {

// Lua side: runs one operation with one implementation and describes the
// outcome as text (values with their types, or the error message).
constexpr const char* kHarness = R"lua(
local function show(...)
  local parts = {}
  for i = 1, select('#', ...) do
    local v = select(i, ...)
    parts[#parts + 1] = type(v) .. ':' .. tostring(v)
  end
  return table.concat(parts, '|')
end
local function outcome(ok, ...)
  if ok then return 'ok ' .. show(...) end
  return 'error ' .. tostring((...))
end
local function all_matches(gmatch, s, p)
  local out, n = {}, 0
  for a, b, c in gmatch(s, p) do
    n = n + 1
    out[n] = show(a, b, c)
    if n == 40 then break end
  end
  return table.concat(out, ';')
end
local replacements = {
  table = {a = 'T', b = false, ab = 7, ['('] = {}, [1] = 'one', [2] = 2.5},
  ['function'] = function(...)
    local first = ...
    if first == 'b' then return false end
    if first == 'a' then return nil end
    if type(first) == 'number' then return first * 10 end
    if first == '(' then return {} end
    local parts = {}
    for i = 1, select('#', ...) do parts[i] = tostring((select(i, ...))) end
    return '<' .. table.concat(parts, ',') .. '>'
  end,
  wrong = true,
}
function run_case(impl, op, s, p, a, b)
  if op == 'find' then return outcome(pcall(impl.find, s, p, a, b)) end
  if op == 'match' then return outcome(pcall(impl.match, s, p, a)) end
  if op == 'gmatch' then return outcome(pcall(all_matches, impl.gmatch, s, p)) end
  local repl = replacements[a] or a
  if repl == 'number' then repl = 42 end
  return outcome(pcall(impl.gsub, s, p, repl, b))
end
)lua";

class PatternDifferential : public ::testing::Test {
protected:
    PatternDifferential() {
        L = luaL_newstate();
        luaL_openlibs(L);
        run("own = {find = string.find, match = string.match, gmatch = string.gmatch, "
            "gsub = string.gsub}");
        EXPECT_EQ(lua_cpcall(
                      L, [](lua_State* S) { return install_guarded_patterns(S), 0; }, nullptr),
                  0);
        run("guarded = {find = string.find, match = string.match, gmatch = string.gmatch, "
            "gsub = string.gsub}");
        run(kHarness);
    }
    ~PatternDifferential() override { lua_close(L); }

    void run(const char* code) {
        if (luaL_dostring(L, code) != 0) {
            ADD_FAILURE() << lua_tostring(L, -1);
            lua_pop(L, 1);
        }
    }

    // One operation with the implementation `impl` ("own" or "guarded");
    // `a` and `b` are pushed as nil when empty, as numbers when they look
    // like one.
    std::string outcome(const char* impl, const std::string& op, const std::string& s,
                        const std::string& p, const std::string& a, const std::string& b) {
        lua_getglobal(L, "run_case");
        lua_getglobal(L, impl);
        lua_pushlstring(L, op.data(), op.size());
        lua_pushlstring(L, s.data(), s.size());
        lua_pushlstring(L, p.data(), p.size());
        push_argument(a);
        push_argument(b);
        if (lua_pcall(L, 6, 1, 0) != 0) return std::string("harness: ") + lua_tostring(L, -1);
        std::size_t size = 0;
        const char* text = lua_tolstring(L, -1, &size);
        std::string result(text, size);
        lua_pop(L, 1);
        return result;
    }

    void push_argument(const std::string& v) {
        char* end = nullptr;
        const double number = std::strtod(v.c_str(), &end);
        if (v.empty())
            lua_pushnil(L);
        else if (v == "true")
            lua_pushboolean(L, 1);
        else if (end != nullptr && *end == '\0')
            lua_pushnumber(L, number);
        else
            lua_pushlstring(L, v.data(), v.size());
    }

    lua_State* L = nullptr;
};

// Random patterns and subjects over small alphabets, so that matches are
// frequent and every construct meets the characters it is about.
class CaseMaker {
public:
    explicit CaseMaker(unsigned seed) : rng_(seed) {}

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    bool chance(int percent) { return pick(100) < percent; }
    char from(const std::string& set) {
        return set[static_cast<std::size_t>(pick(static_cast<int>(set.size())))];
    }

    std::string subject() {
        static const std::string alphabet = std::string("aaabbc()[]%.-^$ 1A_'x\xe9", 22) + '\0';
        std::string s;
        const int n = pick(14);
        for (int i = 0; i < n; ++i) s += from(alphabet);
        return s;
    }

    std::string pattern() {
        if (chance(8)) return junk();
        std::string p;
        if (chance(15)) p += '^';
        int open = 0, closed = 0;
        const int items = pick(7);
        for (int i = 0; i < items; ++i) {
            const int kind = pick(20);
            if (kind < 9) {
                p += single();
                if (chance(45)) p += from("*+-?");
            } else if (kind < 11 && open < 3) {
                p += chance(20) ? "()" : "(";
                if (p.back() == '(') ++open;
            } else if (kind < 13 && open > 0) {
                p += ')';
                --open;
                ++closed;
            } else if (kind == 13) {
                p += "%b";
                const std::string pairs[] = {"()", "ab", "''", "[]"};
                p += pairs[pick(4)];
            } else if (kind == 14) {
                p += "%f" + set();
            } else if (kind == 15) {
                p += '%';
                p += static_cast<char>('1' + pick(closed + 2));
            } else if (kind == 16) {
                p += '$';
            } else {
                p += from("ab.");
            }
        }
        while (open-- > 0 && chance(85)) p += ')';
        if (chance(15)) p += '$';
        return p;
    }

    std::string init() {
        const char* values[] = {"", "1", "2", "-1", "-3", "0", "5", "40", "-40"};
        return values[pick(9)];
    }

    std::string replacement() {
        const int kind = pick(10);
        if (kind == 0) return "table";
        if (kind == 1) return "function";
        if (kind == 2) return "number";
        if (kind == 3) return "wrong";
        std::string r;
        const int n = pick(6);
        for (int i = 0; i < n; ++i)
            r += chance(40) ? std::string("%") + from("0123459%ax") : std::string(1, from("xy-"));
        if (chance(5)) r += '%';
        return r;
    }

    std::string limit() {
        const char* values[] = {"", "", "0", "1", "2", "-1"};
        return values[pick(6)];
    }

private:
    std::string single() {
        switch (pick(6)) {
            case 0:
                return std::string(1, from("aabc ()'1x"));
            case 1:
                return ".";
            case 2:
                return std::string("%") + from("acdlpsuwxzACDLPSUWXZ.%()[]-");
            case 3:
                return set();
            default:
                return std::string(1, from("ab"));
        }
    }

    std::string set() {
        std::string s = "[";
        if (chance(30)) s += '^';
        if (chance(10)) s += ']';
        const int n = 1 + pick(4);
        for (int i = 0; i < n; ++i) {
            switch (pick(5)) {
                case 0:
                    s += std::string(1, from("a(")) + '-' + from("bz)");
                    break;
                case 1:
                    s += std::string("%") + from("adsSwW]%-");
                    break;
                case 2:
                    s += '-';
                    break;
                default:
                    s += from("ab()'.^x");
                    break;
            }
        }
        return s + ']';
    }

    std::string junk() {
        std::string s;
        const int n = pick(9);
        for (int i = 0; i < n; ++i) s += from("ab%[]()^$*+-?.1fb");
        return s;
    }

    std::mt19937 rng_;
};

TEST_F(PatternDifferential, GuardedFunctionsGiveTheEngineOwnResults) {
    work_deadline::set(0);
    const char* env = std::getenv("QUORVEL_PATTERN_CASES");
    const int rounds = env != nullptr ? std::atoi(env) : 4000;
    CaseMaker make(20240611);
    long compared = 0, too_complex = 0;
    int failures = 0;
    for (int round = 0; round < rounds && failures < 10; ++round) {
        const std::string p = make.pattern();
        for (int k = 0; k < 3; ++k) {
            const std::string s = make.subject();
            struct Call {
                std::string op, a, b;
            };
            const Call calls[] = {
                {"find", "", ""},
                {"find", make.init(), ""},
                {"find", make.init(), "true"},
                {"match", make.init(), ""},
                {"gmatch", "", ""},
                {"gsub", make.replacement(), make.limit()},
                {"gsub", make.replacement(), ""},
            };
            for (const Call& c : calls) {
                const std::string own = outcome("own", c.op, s, p, c.a, c.b);
                const std::string guarded = outcome("guarded", c.op, s, p, c.a, c.b);
                ++compared;
                if (guarded.find("pattern too complex") != std::string::npos) {
                    ++too_complex;
                    continue;
                }
                if (own != guarded) {
                    ++failures;
                    ADD_FAILURE() << c.op << "(\"" << s << "\", \"" << p << "\", " << c.a << ", "
                                  << c.b << ")\n  own:     " << own << "\n  guarded: " << guarded;
                }
            }
        }
    }
    std::printf("pattern differential: %ld calls compared, %ld too complex\n", compared,
                too_complex);
    EXPECT_EQ(too_complex, 0);
}

}  // namespace
