// Buffer numbering and the buffer script functions, through a Lua state.
#include "lua_fixture.h"

using BufferFunctions = LuaFixture;

TEST_F(BufferFunctions, SlotsResolveAndOtherNumbersDoNot) {
    EXPECT_EQ(get_buffer(0), edit.data());
    EXPECT_EQ(get_buffer(1), temp.data());
    EXPECT_NE(get_buffer(19), nullptr);
    EXPECT_EQ(get_buffer(20), nullptr);
    EXPECT_EQ(get_buffer(-1), nullptr);
    EXPECT_EQ(get_buffer(9999), nullptr);
    // Slots 2..19 are distinct, zero-filled and whole frames apart.
    EXPECT_EQ(get_buffer(3) - get_buffer(2), kWidth * kHeight);
    EXPECT_EQ(get_buffer(19)[kWidth * kHeight - 1].y, 0);
}

TEST_F(BufferFunctions, CreatebufNumbersFromTenThousandAndReusesTheTop) {
    EXPECT_EQ(number("createbuf()"), 10000);
    EXPECT_EQ(number("createbuf()"), 10001);
    EXPECT_EQ(run("releasebuf(10001)"), "");
    EXPECT_EQ(number("createbuf()"), 10001);
    EXPECT_EQ(run("releasebuf(10000) releasebuf(10001)"), "");
    EXPECT_EQ(number("createbuf()"), 10000);
    // A lower number freed below the highest is not reused.
    EXPECT_EQ(number("createbuf()"), 10001);
    EXPECT_EQ(run("releasebuf(10000)"), "");
    EXPECT_EQ(number("createbuf()"), 10002);
    EXPECT_NE(get_buffer(10002), nullptr);
    EXPECT_EQ(get_buffer(10000), nullptr);
}

TEST_F(BufferFunctions, ReleasebufOfASlotDoesNothing) {
    EXPECT_EQ(run("releasebuf(5)"), "");
    EXPECT_NE(get_buffer(5), nullptr);
    EXPECT_NE(run("releasebuf()").find("bad argument #1 to 'releasebuf'"), std::string::npos);
}

TEST_F(BufferFunctions, SwapbufExchangesTheHostFrames) {
    EXPECT_EQ(run("swapbuf()"), "");
    EXPECT_EQ(fpip.ycp_edit, temp.data());
    EXPECT_EQ(get_buffer(0), temp.data());
    EXPECT_EQ(get_buffer(1), edit.data());
    EXPECT_EQ(run("swapbuf(1, 2, 3)"), "");  // extra arguments are ignored
    EXPECT_EQ(fpip.ycp_edit, edit.data());
}

TEST_F(BufferFunctions, DispsizeAcceptsOnlySizesWithinSixteenAndTheMaximum) {
    fpip.w = 32, fpip.h = 32;
    EXPECT_EQ(run("dispsize(15, 20)"), "");
    EXPECT_EQ(fpip.w, 32);
    EXPECT_EQ(run("dispsize(64, 49)"), "");
    EXPECT_EQ(fpip.h, 32);
    EXPECT_EQ(run("dispsize(16.9, 48)"), "");
    EXPECT_EQ(fpip.w, 16);
    EXPECT_EQ(fpip.h, 48);
    EXPECT_EQ(
        run("dispsize(20)"),
        "[string \"dispsize(20)\"]:1: bad argument #1 to 'dispsize' (wrong number of argument)");
    EXPECT_NE(run("dispsize('a', 20)").find("number expected"), std::string::npos);
}

TEST_F(BufferFunctions, MissingRegistryRecordsAreReported) {
    lua_pushnil(L);
    lua_setfield(L, LUA_REGISTRYINDEX, "LUA_FILTER_INFO");
    EXPECT_NE(run("swapbuf()").find("レジストリからのLuaフィルタ情報テーブル取得に失敗しました"),
              std::string::npos);
    lua_newtable(L);
    lua_setfield(L, LUA_REGISTRYINDEX, "LUA_FILTER_INFO");
    EXPECT_NE(run("swapbuf()").find("レジストリからのfp取得に失敗しました"), std::string::npos);
}
