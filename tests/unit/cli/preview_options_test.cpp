// `quorvel preview` takes the edit and track options of `run` (checked the
// same way), its own --port and --bind, and a shorter time budget.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/tracks.h"
#include "options.h"

extern "C" FILTER_DLL* GetFilterTable();

namespace {

struct Parsed {
    bool ok;
    Options options;
    std::string error;
};

Parsed parse(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    Parsed p{};
    p.ok = parse_options(static_cast<int>(argv.size()), argv.data(), GetFilterTable(), &p.options,
                         &p.error);
    return p;
}

TEST(PreviewOptions, TakeTheEditAndTrackOptionsOfRun) {
    const Parsed p =
        parse({"preview", "--input", "pattern:64x48", "--script-dir", "/tmp", "--var", "a=7",
               "--display", "3", "--port", "0", "--bind", "0.0.0.0", "--answer", "no"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.command, Command::preview);
    EXPECT_EQ(p.options.input, "pattern:64x48");
    EXPECT_EQ(p.options.port, 0);
    EXPECT_EQ(p.options.bind, "0.0.0.0");
    std::vector<int> expected = default_tracks(*GetFilterTable());
    expected[3] = 7, expected[2] = 3;
    EXPECT_EQ(p.options.tracks, expected);
    // A runaway script is stopped sooner than in a run, unless told.
    EXPECT_EQ(p.options.frame_timeout, 5);
    EXPECT_EQ(parse({"run"}).options.frame_timeout, 30);
    EXPECT_EQ(parse({"preview", "--frame-timeout", "0"}).options.frame_timeout, 0);
    const Parsed plain = parse({"preview"});
    EXPECT_EQ(plain.options.bind, "127.0.0.1");
    EXPECT_EQ(plain.options.port, 8080);
}

TEST(PreviewOptions, RefuseWhatAPreviewCannotUse) {
    for (const char* port : {"65536", "-1", "80x"}) {
        const Parsed p = parse({"preview", "--port", port});
        EXPECT_FALSE(p.ok) << port;
    }
    EXPECT_NE(parse({"preview", "--port", "65536"}).error.find("--port"), std::string::npos);
    EXPECT_NE(parse({"preview", "--var", "a=4097"}).error.find("4096"), std::string::npos);
    // Options of a run that writes video have no meaning here.
    EXPECT_NE(parse({"preview", "--output", "x.mp4"}).error.find("--output"), std::string::npos);
    EXPECT_NE(parse({"preview", "--click", "1,2"}).error.find("--click"), std::string::npos);
}

}  // namespace
