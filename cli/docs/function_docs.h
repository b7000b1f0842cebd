// The function reference for script writers, docs/functions.md.
//
// Each script function has one entry: a heading "### name" and everything up
// to the next heading of any level.  Lines inside code fences (```) are
// never headings, so an entry can be printed on its own (quorvel help NAME)
// and checked against the functions the library registers.
#pragma once

#include <string>
#include <vector>

struct FunctionDoc {
    std::string name;
    std::string text;     // the whole entry, its heading line included
    std::string section;  // the "## " heading above it
};

// The entries of the reference, in their order.
std::vector<FunctionDoc> parse_function_docs(const std::string& markdown);

// The code of an entry's ```lua blocks, its examples.
std::vector<std::string> lua_examples(const std::string& entry);

// The argument forms of an entry: the lines of its first plain code block.
std::vector<std::string> argument_forms(const std::string& entry);

// The reference built into the program (docs/functions.md at build time).
const std::string& built_in_reference();
