// The shared binding helpers: number conversion, argument counts, tables,
// guarded work, and the two utility functions.
#include <chrono>
#include <cmath>
#include <limits>
#include <new>
#include <stdexcept>
#include <thread>

#include "buffers/numeric.h"
#include "lua_fixture.h"
#include "script/binding.h"
#include "script/library.h"

TEST(Numbers, TruncateTowardZeroSaturateAndTakeNanAsZero) {
    EXPECT_EQ(trunc_to_int(2.9), 2);
    EXPECT_EQ(trunc_to_int(-2.9), -2);
    EXPECT_EQ(trunc_to_int(std::nan("")), 0);
    EXPECT_EQ(trunc_to_int(1e300), 2147483647);
    EXPECT_EQ(trunc_to_int(-std::numeric_limits<double>::infinity()), -2147483647 - 1);
    EXPECT_EQ(to_component(40000), -25536);  // low 16 bits
    EXPECT_EQ(to_component(-1.5), -1);
    EXPECT_EQ(to_component(1e12), -1);  // saturated to 0x7fffffff, then its low 16 bits
    EXPECT_EQ(fixed12(-1), -1);         // shift rounds toward minus infinity
    EXPECT_EQ(fixed12(4096 * 3 + 4095), 3);
}

namespace {

int probe_counts(lua_State* L) {
    check_arg_count(L);
    lua_pushinteger(L, check_int(L, 1));
    return 1;
}

// A row of a family table, as the library's are: 1 or 8 arguments.
const LibraryFunction probe_counts_row = {"probe_counts", probe_counts, {1, 8}};

// A binding that no row was pushed with.
int probe_counts_unlisted(lua_State* L) { return check_arg_count(L); }

int probe_table(lua_State* L) {
    int rows = 0, cols = 0;
    const double* v = check_table2d(L, 1, &rows, &cols);
    lua_pushinteger(L, rows);
    lua_pushinteger(L, cols);
    double sum = 0;
    for (int i = 0; i < rows * cols; ++i) sum += v[i] * (i + 1);
    lua_pushnumber(L, sum);
    return 3;
}

int probe_buffer(lua_State* L) {
    const HostRecords records = fetch_host_records(L);
    require_buffer(L, records, check_int(L, 1));
    return 0;
}

int probe_guarded(lua_State* L) {
    guarded(L, [] { throw std::bad_alloc(); });
    return 0;
}

// probe_named(kind): guarded work under the name "probe" that throws
// bad_alloc (1), a length error (2), a non-standard exception (3) or nothing.
int probe_named(lua_State* L) {
    const int kind = check_int(L, 1);
    guarded(L, "probe", [kind] {
        if (kind == 1) throw std::bad_alloc();
        if (kind == 2) throw std::length_error("work area too large");
        if (kind == 3) throw 42;
    });
    lua_pushinteger(L, kind);
    return 1;
}

}  // namespace

class Binding : public LuaFixture {
protected:
    Binding() {
        push_library_function(L, probe_counts_row);
        lua_setglobal(L, "probe_counts");
        // Found by the function itself, whatever name or value it is
        // reached through; a binding pushed without a row has no counts.
        lua_register(L, "probe_counts_renamed", probe_counts);
        lua_register(L, "probe_counts_unlisted", probe_counts_unlisted);
        lua_register(L, "probe_table", probe_table);
        lua_register(L, "probe_guarded", probe_guarded);
        lua_register(L, "probe_named", probe_named);
        lua_register(L, "probe_buffer", probe_buffer);
    }
};

TEST_F(Binding, CountsAndIntegerArguments) {
    EXPECT_EQ(number("probe_counts(2.9)"), 2);
    EXPECT_EQ(number("probe_counts(-2.9, 0, 0, 0, 0, 0, 0, 0)"), -2);
    EXPECT_EQ(number("probe_counts(0/0)"), 0);
    EXPECT_EQ(run("probe_counts(1, 2, 3)"),
              "[string \"probe_counts(1, 2, 3)\"]:1: bad argument #3 to 'probe_counts' (wrong "
              "number of argument)");
    EXPECT_NE(run("probe_counts('x')")
                  .find("bad argument #1 to 'probe_counts' (number expected, got string)"),
              std::string::npos);
    EXPECT_NE(run("probe_counts_unlisted(1)").find("not a library function"), std::string::npos);
    EXPECT_EQ(number("probe_counts_renamed(3)"), 3);
    EXPECT_NE(run("probe_counts_renamed(1, 2)").find("wrong number of argument"),
              std::string::npos);
    // Registered without upvalues: nothing a script could swap for a row.
    EXPECT_EQ(run("assert(debug.getupvalue(probe_counts, 1) == nil)"), "");
}

TEST_F(Binding, TwoDimensionalTablesArePaddedAndCutToTheFirstRow) {
    EXPECT_EQ(run("r, c, s = probe_table({{1, 2}, {3}, {4, 5, 6}})"), "");
    EXPECT_EQ(number("r"), 3);
    EXPECT_EQ(number("c"), 2);
    // 1*1 + 2*2 + 3*3 + 0*4 + 4*5 + 5*6 (the 6 is cut)
    EXPECT_EQ(number("s"), 1 + 4 + 9 + 20 + 30);
    EXPECT_EQ(run("r, c, s = probe_table({{'x', 2}, 'not a row'})"), "");
    EXPECT_EQ(number("s"), 4);
    EXPECT_NE(run("probe_table({1, 2})").find("テーブルの形式が不適切です"), std::string::npos);
    EXPECT_NE(run("probe_table(5)").find("table expected"), std::string::npos);
}

TEST_F(Binding, ExceptionsBecomeLuaErrors) {
    EXPECT_NE(run("probe_guarded()").find("bad_alloc"), std::string::npos);
    EXPECT_EQ(lua_gettop(L), 0);
    // With a name, the message starts with it.
    EXPECT_NE(run("probe_named(1)").find(": probe: not enough memory (bad allocation)"),
              std::string::npos);
    EXPECT_NE(run("probe_named(2)").find(": probe: work area too large"), std::string::npos);
    const std::string unknown = run("probe_named(3)");
    EXPECT_NE(unknown.find("unknown error"), std::string::npos);
    EXPECT_EQ(unknown.find("probe:"), std::string::npos);
    EXPECT_EQ(number("probe_named(0)"), 0);
    EXPECT_EQ(lua_gettop(L), 0);
}

TEST_F(Binding, RequireBufferNamesTheMissingNumber) {
    EXPECT_EQ(run("probe_buffer(25)"),
              "[string \"probe_buffer(25)\"]:1: バッファが存在しません[25]");
    EXPECT_EQ(run("probe_buffer(19)"), "");
    EXPECT_EQ(run("probe_buffer(10000)"),
              "[string \"probe_buffer(10000)\"]:1: バッファが存在しません[10000]");
    EXPECT_EQ(run("probe_buffer(createbuf())"), "");
}

TEST_F(Binding, TickcountMeasuresMilliseconds) {
    const double first = number("tickcount()");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const double second = number("tickcount()");
    EXPECT_GE(second - first, 95);
    EXPECT_LE(second - first, 400);
}
