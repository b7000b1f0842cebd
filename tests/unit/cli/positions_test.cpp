// Places in the input as the command line gives them (positions.h), and the
// ffmpeg options they come with (ffmpeg_habits.h).
#include <gtest/gtest.h>

#include "ffmpeg_habits.h"
#include "positions.h"

namespace {

Position parsed(const std::string& text, PlainNumber plain) {
    Position p;
    p.frame = -1;
    EXPECT_TRUE(parse_position(text, plain, &p)) << text;
    return p;
}

TEST(Positions, FramesAndTimesInFfmpegsForms) {
    // A whole number is a frame for --start, seconds for -ss.
    EXPECT_FALSE(parsed("120", PlainNumber::frame).is_time);
    EXPECT_EQ(parsed("120", PlainNumber::frame).frame, 120);
    EXPECT_TRUE(parsed("120", PlainNumber::seconds).is_time);
    EXPECT_DOUBLE_EQ(parsed("120", PlainNumber::seconds).seconds, 120);
    // A frame anywhere with f; a time with a unit, a colon or a decimal point.
    EXPECT_EQ(parsed("f120", PlainNumber::seconds).frame, 120);
    EXPECT_FALSE(parsed("f120", PlainNumber::seconds).is_time);
    const std::pair<const char*, double> times[] = {
        {"5.2", 5.2},       {"5s", 5},    {"2.5s", 2.5},       {"500ms", 0.5},
        {"250000us", 0.25}, {"1:05", 65}, {"00:00:05.2", 5.2}, {"1:02:03.5", 3723.5},
        {"90:00", 5400},  // minutes may run past 59 in the first field
    };
    for (const auto& [text, seconds] : times) {
        const Position p = parsed(text, PlainNumber::frame);
        EXPECT_TRUE(p.is_time) << text;
        EXPECT_NEAR(p.seconds, seconds, 1e-9) << text;
    }
    Position p;
    for (const char* bad : {"", "-5", "f", "f-1", "5x", "1:60", "1:2:3:4", "1.5:00", "s", "fivesec",
                            "1920x1080", "12345678901"})
        EXPECT_FALSE(parse_position(bad, PlainNumber::frame, &p)) << bad;
}

TEST(Positions, FfmpegsOptionsBecomeOursOrSayWhatToUse) {
    std::vector<std::string> args = {"run", "-i", "a.mp4",     "-ss",    "5",  "-to", "9",
                                     "-t",  "2",  "-progress", "pipe:1", "-o", "-"};
    std::string error;
    ASSERT_TRUE(translate_ffmpeg_habits(&args, &error)) << error;
    EXPECT_EQ(args,
              (std::vector<std::string>{"run", "-i", "a.mp4", "--ss", "5", "--to", "9",
                                        "--duration", "2", "--progress-url", "pipe:1", "-o", "-"}));
    const std::pair<const char*, const char*> refused[] = {
        {"-vf", "the script is the filter"}, {"-c:v", "--codec"},
        {"-pix_fmt", "--pix-fmt"},           {"-r", "--timeline cfr"},
        {"-frames:v", "--frames"},           {"-b:v", "--crf"},
    };
    for (const auto& [option, names] : refused) {
        std::vector<std::string> a = {"run", option, "x"};
        EXPECT_FALSE(translate_ffmpeg_habits(&a, &error)) << option;
        EXPECT_NE(error.find(names), std::string::npos) << error;
    }
    // Not in the other commands: help's topic is a name.
    std::vector<std::string> help = {"help", "-vf"};
    EXPECT_TRUE(translate_ffmpeg_habits(&help, &error));
}

}  // namespace
