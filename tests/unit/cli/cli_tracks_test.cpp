// The host program's track options follow the plug-in's filter table: its
// captions pick the track, its ranges check the value, its defaults fill the
// rest.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/tracks.h"
#include "options.h"

extern "C" FILTER_DLL* GetFilterTable();

namespace {

// A plug-in whose tracks are in another order, with other ranges and
// defaults, and only two variables; its click check box is the second one.
const char* const kNames[] = {"変数q", "表示Buf", "スレッド数", "変数r", "ｽｸﾘﾌﾟﾄ№"};
const int kDefaults[] = {7, 1, 4, 9, 0};
const int kMins[] = {-5, 0, 1, 0, 0};
const int kMaxs[] = {5, 3, 8, 100, 2};
const char* const kChecks[] = {"他の設定", "クリックで色情報の表示"};
const int kCheckDefaults[] = {1, 0};

FILTER other_table() {
    FILTER t{};
    t.track_n = 5;
    t.track_name = kNames;
    t.track_default = kDefaults;
    t.track_s = kMins;
    t.track_e = kMaxs;
    t.check_n = 2;
    t.check_name = kChecks;
    t.check_default = kCheckDefaults;
    return t;
}

struct Parsed {
    bool ok;
    Options options;
    std::string error;
};

Parsed parse(const FILTER* table, std::vector<std::string> args) {
    args.insert(args.begin(), "run");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    Parsed p{};
    p.ok = parse_options(static_cast<int>(argv.size()), argv.data(), table, &p.options, &p.error);
    return p;
}

TEST(TrackOptions, FollowTheTablesCaptionsRangesAndDefaults) {
    const FILTER t = other_table();
    EXPECT_EQ(parse(&t, {}).options.tracks, (std::vector<int>{7, 1, 4, 9, 0}));

    const Parsed set = parse(&t, {"--threads", "8", "--var", "q=-5", "--display", "3",
                                  "--script-no", "2", "--var", "r=100", "--var", "q=-4"});
    ASSERT_TRUE(set.ok) << set.error;
    EXPECT_EQ(set.options.tracks, (std::vector<int>{-4, 3, 8, 100, 2}));

    struct Refused {
        std::vector<std::string> args;
        const char* error;
    };
    const Refused refused[] = {
        {{"--threads", "9"},
         "--threads (track 2 \"スレッド数\") must be an integer from 1 to 8 (got \"9\")"},
        {{"--var", "q=6"},
         "--var q (track 0 \"変数q\") must be an integer from -5 to 5 (got \"6\")"},
        {{"--script-no", "3"},
         "--script-no (track 4 \"ｽｸﾘﾌﾟﾄ№\") must be an integer from 0 to 2 (got \"3\")"},
        {{"--display", "1.5"},
         "--display (track 1 \"表示Buf\") must be an integer from 0 to 3 (got \"1.5\")"},
        {{"--var", "a=1"}, "unknown variable \"a\" (use q or r)"},
        {{"--var", "=1"}, "unknown variable \"\" (use q or r)"},
    };
    for (const Refused& r : refused) {
        const Parsed p = parse(&t, r.args);
        EXPECT_FALSE(p.ok);
        EXPECT_EQ(p.error, r.error);
    }
}

TEST(TrackOptions, ATrackTheTableLacksIsAUsageError) {
    FILTER t = other_table();
    t.track_n = 3;  // no "変数r" or "ｽｸﾘﾌﾟﾄ№" now
    const Parsed p = parse(&t, {"--script-no", "1"});
    EXPECT_FALSE(p.ok);
    EXPECT_EQ(p.error, "--script-no: the plug-in has no track \"ｽｸﾘﾌﾟﾄ№\"");
    EXPECT_EQ(parse(&t, {"--var", "r=1"}).error, "unknown variable \"r\" (use q)");
    t.track_n = 0;
    EXPECT_TRUE(parse(&t, {}).options.tracks.empty());
    EXPECT_EQ(parse(&t, {"--var", "q=1"}).error,
              "unknown variable \"q\" (the plug-in has no variables)");
}

TEST(TrackOptions, WithoutATableOnlyTheSyntaxIsChecked) {
    EXPECT_TRUE(parse(nullptr, {"--threads", "99", "--var", "w=1"}).ok);
    EXPECT_EQ(parse(nullptr, {"--var", "w"}).error, "--var must be NAME=VALUE (got \"w\")");
}

TEST(TrackOptions, ThePlugInsOwnTableGivesTheKnownOptions) {
    const FILTER* t = GetFilterTable();
    const Parsed p =
        parse(t, {"--script-no", "10",  "--threads", "16",  "--display", "19",  "--var", "a=1",
                  "--var",       "b=2", "--var",     "c=3", "--var",     "d=4", "--var", "u=5",
                  "--var",       "v=6", "--var",     "x=7", "--var",     "y=8", "--var", "z=4096"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.tracks, (std::vector<int>{10, 16, 19, 1, 2, 3, 4, 5, 6, 7, 8, 4096}));
    EXPECT_EQ(parse(t, {"--var", "w=1"}).error,
              "unknown variable \"w\" (use a, b, c, d, u, v, x, y or z)");
    EXPECT_EQ(parse(t, {"--threads", "0"}).error,
              "--threads (track 1 \"スレッド数\") must be an integer from 1 to 16 (got \"0\")");
}

TEST(TrackOptions, TheUsageTextNamesTheTablesVariables) {
    const auto var_line = [](const FILTER* t) {
        const std::string text = usage_text(t);
        const std::size_t at = text.find("set one of the script's variables");
        return text.substr(at, text.find('\n', at) - at);
    };
    EXPECT_EQ(var_line(GetFilterTable()),
              "set one of the script's variables a, b, c, d, u, v, x, y or z (0..4096)");
    FILTER t = other_table();
    EXPECT_EQ(var_line(&t), "set one of the script's variables q or r");  // their ranges differ
    t.track_n = 1;
    EXPECT_EQ(var_line(&t), "set one of the script's variables q (-5..5)");
    EXPECT_EQ(var_line(nullptr), "set one of the script's variables");
}

TEST(CheckBoxes, TheClickBoxIsFoundByItsCaption) {
    const FILTER t = other_table();
    EXPECT_EQ(color_info_check_box(t), 1);
    EXPECT_EQ(color_info_check_box(*GetFilterTable()), 0);
    FILTER none = t;
    none.check_n = 1;
    EXPECT_EQ(color_info_check_box(none), -1);
}

}  // namespace
