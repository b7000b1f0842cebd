// The library's tables: every family row is registered once, in the order
// scripts can observe, and every function accepts exactly the argument
// counts of its row.
#include <set>
#include <string>
#include <vector>

#include "lua_fixture.h"
#include "platform/desktop.h"
#include "script/library.h"

namespace {

TEST(LibraryTables, EveryRowIsInTheOrderOnceAndEveryNameThereHasARow) {
    const std::span<const char* const> order = library_order();
    const std::set<std::string> ordered(order.begin(), order.end());
    EXPECT_EQ(ordered.size(), order.size()) << "a name is in library_order twice";
    std::set<std::string> rows;
    for (const LibraryFunction* family : library_families())
        for (const LibraryFunction* row = family; row->name != nullptr; ++row) {
            EXPECT_TRUE(rows.insert(row->name).second) << row->name << " has two rows";
            EXPECT_TRUE(ordered.count(row->name)) << row->name << " is not in library_order";
            EXPECT_NE(row->function, nullptr) << row->name;
        }
    for (const char* name : order) EXPECT_TRUE(rows.count(name)) << name << " has no row";
    EXPECT_EQ(library_functions().size(), order.size());
    EXPECT_EQ(find_library_function("no_such_function"), nullptr);
}

// __newindex of the globals: appends the name to the list in upvalue 1,
// then stores the value.
int record_global(lua_State* L) {
    lua_pushvalue(L, 2);
    lua_rawseti(L, lua_upvalueindex(1), static_cast<int>(lua_objlen(L, lua_upvalueindex(1))) + 1);
    lua_rawset(L, 1);
    return 0;
}

TEST(LibraryTables, GlobalsAreDefinedInLibraryOrder) {
    lua_State* L = luaL_newstate();
    lua_newtable(L);  // the names, as they are defined
    lua_newtable(L);  // the metatable of the globals
    lua_pushvalue(L, 1);
    lua_pushcclosure(L, record_global, 1);
    lua_setfield(L, -2, "__newindex");
    lua_setmetatable(L, LUA_GLOBALSINDEX);
    register_library(L);
    std::vector<std::string> defined;
    for (int k = 1; k <= static_cast<int>(lua_objlen(L, 1)); ++k) {
        lua_rawgeti(L, 1, k);
        defined.emplace_back(lua_tostring(L, -1));
        lua_pop(L, 1);
    }
    const std::span<const char* const> order = library_order();
    EXPECT_EQ(defined, std::vector<std::string>(order.begin(), order.end()));
    lua_close(L);
}

int quiet_box(void*, const char*, const char*, unsigned) { return IDOK; }
void* no_window(const char*) { return nullptr; }
void no_message(void*, unsigned, std::uintptr_t, std::intptr_t) {}
const DesktopServices quiet_desktop = {quiet_box, no_window, no_message};

class LibraryCounts : public LuaFixture {
protected:
    LibraryCounts() { platform::set_desktop(&quiet_desktop); }
    ~LibraryCounts() override { platform::set_desktop(nullptr); }
};

// Every count from 0 to 20, with zeros for arguments (an empty region, so
// nothing is drawn): a count the row accepts never raises the count error,
// any other raises it with the count as the argument number, and a row of
// any count never raises it.
TEST_F(LibraryCounts, EachFunctionAcceptsExactlyTheCountsOfItsRow) {
    for (const LibraryFunction* row : library_functions()) {
        std::string zeros;
        for (int n = 0; n <= 20; ++n) {
            const std::string call = std::string(row->name) + "(" + zeros + ")";
            const std::string error = run(call);
            if (row->counts.accepts(n))
                EXPECT_EQ(error.find("wrong number of argument"), std::string::npos)
                    << call << ": " << error;
            else
                EXPECT_EQ(error.substr(error.find("]:1: ") + 5),
                          "bad argument #" + std::to_string(n) + " to '" + row->name +
                              "' (wrong number of argument)")
                    << call;
            zeros += n == 0 ? "0" : ", 0";
        }
    }
}

TEST(LibraryTables, ArgumentCountsListWhatTheyAccept) {
    constexpr ArgCounts label{8, 9, 10, 11, 12, 13, 14};
    EXPECT_EQ(label.listed(), (std::vector<int>{8, 9, 10, 11, 12, 13, 14}));
    EXPECT_TRUE(label.accepts(14));
    EXPECT_FALSE(label.accepts(15));
    EXPECT_FALSE(label.accepts(-1));
    EXPECT_FALSE(label.accepts(40));
    EXPECT_EQ(label.bits(), 0x7F00u);
    EXPECT_TRUE(any_count.accepts(0) && any_count.accepts(40));
    EXPECT_TRUE(any_count.listed().empty());
    EXPECT_EQ(any_count.bits(), 0u);
}

TEST(LibraryTables, TheExportListsTheRegisteredFunctionsInOrder) {
    const std::vector<const LibraryFunction*> rows = library_functions();
    int index = 0;
    const char* name = nullptr;
    unsigned counts = 0;
    for (; QuorvelLibraryFunction(index, &name, &counts) != 0; ++index) {
        ASSERT_LT(static_cast<std::size_t>(index), rows.size());
        EXPECT_STREQ(name, rows[static_cast<std::size_t>(index)]->name);
        EXPECT_EQ(counts, rows[static_cast<std::size_t>(index)]->counts.bits());
    }
    EXPECT_EQ(static_cast<std::size_t>(index), rows.size());
    EXPECT_EQ(QuorvelLibraryFunction(-1, &name, &counts), 0);
}

}  // namespace
