// The examples of docs/functions.md run as written: each is the body of a
// video_filter call on a small test pattern and must raise no error.  And
// the plug-in refuses the argument counts its library table does not list.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

#include "docs/function_docs.h"
#include "docs/function_listing.h"
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

// For each function of the built plug-in with a fixed set of counts, a call
// with the fewest arguments it refuses, inside a script: the error must be
// Lua's bad-argument error naming that count.
TEST(FunctionReference, ThePluginRefusesTheCountsItsTableDoesNotList) {
    std::string plugin = QUORVEL_BINARY;
    plugin = plugin.substr(0, plugin.find_last_of('/') + 1) + "quorvel.auf";
    std::string error;
    const std::vector<PluginFunction> functions = plugin_functions(plugin, &error);
    ASSERT_EQ(error, "");
    EXPECT_EQ(functions.size(), parse_function_docs(read_reference()).size());
    std::string script = "local probes = {}\n";
    for (const PluginFunction& f : functions) {
        if (f.counts.empty()) continue;  // any count
        int n = 0;
        while (std::find(f.counts.begin(), f.counts.end(), n) != f.counts.end()) ++n;
        std::string call = f.name + "(";
        for (int k = 0; k < n; ++k) call += k == 0 ? "0" : ", 0";
        script += "probes[#probes + 1] = {'" + f.name + "', " + std::to_string(n) + ", '" + call +
                  ")'}\n";
    }
    script +=
        "function video_filter(info, vars)\n"
        "  local failed = {}\n"
        "  for _, p in ipairs(probes) do\n"
        "    local ok, err = pcall(loadstring(p[3]))\n"
        "    local want = \"bad argument #\" .. p[2] .. \" to '\" .. p[1] ..\n"
        "                 \"' (wrong number of argument)\"\n"
        "    if ok or not string.find(err, want, 1, true) then\n"
        "      failed[#failed + 1] = p[3] .. ': ' .. tostring(err)\n"
        "    end\n"
        "  end\n"
        "  if #failed > 0 then error(table.concat(failed, '\\n'), 0) end\n"
        "end\n";
    ScriptDir dir;
    const RunResult r = run_script(dir, script, "pattern:64x48", 1, {"--strict"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("lua_err.txt"), "");
}

}  // namespace
