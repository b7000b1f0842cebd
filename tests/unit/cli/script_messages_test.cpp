// The line of explanation under the script messages a user meets most.
#include <gtest/gtest.h>

#include "docs/script_messages.h"

namespace {

TEST(ScriptMessages, ArgumentCountsComeFromThePluginsTableOrTheReferenceForms) {
    EXPECT_EQ(explain_script_message("/x/filter.lua:12: bad argument #8 to 'gaussian' (wrong "
                                     "number of argument)"),
              "gaussian takes 9 arguments, got 8: quorvel help gaussian");
    // Several forms, and one argument.
    EXPECT_EQ(explain_script_message("bad argument #3 to 'copyframe' (wrong number of argument)"),
              "copyframe takes 2 or 8 arguments, got 3: quorvel help copyframe");
    EXPECT_EQ(explain_script_message("bad argument #2 to 'set_frame_n' (wrong number of argument)"),
              "set_frame_n takes 1 argument, got 2: quorvel help set_frame_n");
    EXPECT_EQ(explain_script_message("bad argument #9 to 'erode' (テーブルの形式が不適切です)"),
              "argument 9 of erode is not a table of the form it takes: quorvel help erode");
    // A function the reference does not have gets no count.
    EXPECT_EQ(explain_script_message("bad argument #1 to 'frobnicate' (wrong number of argument)"),
              "");

    // Once the plug-in's table is known, its counts are said, also where
    // they are more than the forms show.
    use_plugin_argument_counts({{"label4", {8, 9, 10, 11, 12, 13, 14}}, {"gaussian", {9}}});
    EXPECT_EQ(explain_script_message("bad argument #7 to 'label4' (wrong number of argument)"),
              "label4 takes 8 to 14 arguments, got 7: quorvel help label4");
    EXPECT_EQ(explain_script_message("bad argument #8 to 'gaussian' (wrong number of argument)"),
              "gaussian takes 9 arguments, got 8: quorvel help gaussian");
    use_plugin_argument_counts({});
}

TEST(ScriptMessages, BuffersNamesAndTheMissingEntryPoint) {
    const std::string buffer =
        "buffer 25 does not exist (buffers 0–19, and those made by createbuf)";
    EXPECT_EQ(explain_script_message("バッファが存在しません[25]"), buffer);
    // A Windows path has a colon of its own before the position.
    EXPECT_EQ(explain_script_message("C:\\clips\\filter.lua:3: バッファが存在しません[25]"),
              buffer);
    EXPECT_EQ(explain_script_message("filter.lua:2: attempt to call global 'medain' (a nil value)"),
              "medain is not a function the script has: did you mean median? (quorvel functions "
              "lists them)");
    EXPECT_EQ(explain_script_message("attempt to call global 'zzzzzz' (a nil value)"),
              "zzzzzz is not a function the script has (quorvel functions lists them)");
    EXPECT_NE(explain_script_message(kNoVideoFilter), "");
    EXPECT_EQ(explain_script_message("filter.lua:4: something of the script's own"), "");
    EXPECT_EQ(without_position("C:\\a\\filter.lua:3: x: 4: y"), "x: 4: y");
    EXPECT_EQ(without_position("no position: 3: here"), "no position: 3: here");
}

}  // namespace
