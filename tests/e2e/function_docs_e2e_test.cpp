// The examples of docs/functions.md run as written: each is the body of a
// video_filter call on a small test pattern and must raise no error.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "docs/function_docs.h"
#include "harness.h"

namespace {

std::string read_reference() {
    std::ifstream in(QUORVEL_FUNCTION_DOCS);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A Lua long string that cannot end inside `text`.
std::string long_string(const std::string& text) {
    std::string level;
    while (text.find("]" + level + "]") != std::string::npos) level += "=";
    return "[" + level + "[\n" + text + "]" + level + "]";
}

TEST(FunctionReference, EveryExampleRunsWithoutAnError) {
    std::string script = "local examples = {}\n";
    int count = 0;
    for (const FunctionDoc& d : parse_function_docs(read_reference()))
        for (const std::string& code : lua_examples(d.text)) {
            script += "examples[#examples + 1] = {'" + d.name + "', " + long_string(code) + "}\n";
            ++count;
        }
    ASSERT_GT(count, 0) << "no examples in " << QUORVEL_FUNCTION_DOCS;
    // Each example gets the frame's info and vars, on the first frame only
    // (an example may lengthen the video); failures are named and collected.
    script +=
        "function video_filter(info, vars)\n"
        "  if info.frame ~= 0 then return end\n"
        "  local failed = {}\n"
        "  for _, e in ipairs(examples) do\n"
        "    local f, err = loadstring('local info, vars = ...\\n' .. e[2], e[1])\n"
        "    local ok = f ~= nil\n"
        "    if ok then ok, err = pcall(f, info, vars) end\n"
        "    if not ok then failed[#failed + 1] = e[1] .. ': ' .. tostring(err) end\n"
        "  end\n"
        "  if #failed > 0 then error(table.concat(failed, '\\n'), 0) end\n"
        "end\n";
    ScriptDir dir;
    const RunResult r = run_script(dir, script, "pattern:64x48", 1, {"--strict"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("lua_err.txt"), "");
}

}  // namespace
