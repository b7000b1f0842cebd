// docs/functions.md documents exactly the functions the library registers,
// one entry each, in the shape `quorvel help NAME` prints.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "docs/function_docs.h"
#include "script/library.h"

namespace {

std::string read_reference() {
    std::ifstream in(QUORVEL_FUNCTION_DOCS);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::set<std::string> registered_functions() {
    std::set<std::string> names;
    for (const char* name : library_order)
        if (find_library_function(name) != nullptr) names.insert(name);
    return names;
}

TEST(FunctionReference, DocumentsEveryRegisteredFunctionOnceAndNothingElse) {
    const std::vector<FunctionDoc> docs = parse_function_docs(read_reference());
    ASSERT_FALSE(docs.empty()) << "cannot read " << QUORVEL_FUNCTION_DOCS;
    const std::set<std::string> registered = registered_functions();
    std::map<std::string, int> entries;
    for (const FunctionDoc& d : docs) {
        ++entries[d.name];
        EXPECT_TRUE(registered.count(d.name)) << "docs/functions.md documents \"" << d.name
                                              << "\", which the library does not register";
    }
    for (const std::string& name : registered)
        EXPECT_EQ(entries[name], 1)
            << "docs/functions.md needs exactly one entry \"### " << name << "\"";
}

TEST(FunctionReference, EveryEntryHasFormsErrorsAndAnExample) {
    for (const FunctionDoc& d : parse_function_docs(read_reference())) {
        // The forms: a plain code block whose lines call the function.
        const std::size_t forms = d.text.find("```\n");
        ASSERT_NE(forms, std::string::npos) << d.name << ": no block of argument forms";
        const std::size_t forms_end = d.text.find("```", forms + 4);
        EXPECT_NE(d.text.substr(forms, forms_end - forms).find(d.name + "("), std::string::npos)
            << d.name << ": the forms do not call " << d.name;
        EXPECT_NE(d.text.find("\nErrors: "), std::string::npos)
            << d.name << ": no \"Errors: \" paragraph";
        const std::vector<std::string> examples = lua_examples(d.text);
        ASSERT_EQ(examples.size(), 1u) << d.name << ": needs one ```lua example";
        EXPECT_NE(examples[0].find(d.name + "("), std::string::npos)
            << d.name << ": the example does not call it";
    }
}

TEST(FunctionReference, AnEntryRunsToTheNextHeadingAndCodeHoldsNoHeadings) {
    const std::string text =
        "# Title\nintro\n## Family\nabout\n### one\n```lua\n# not a heading\n```\ntext\n"
        "## Next family\nmore\n### two\n```\ntwo()\n```\n";
    const std::vector<FunctionDoc> docs = parse_function_docs(text);
    ASSERT_EQ(docs.size(), 2u);
    EXPECT_EQ(docs[0].name, "one");
    EXPECT_EQ(docs[0].text, "### one\n```lua\n# not a heading\n```\ntext\n");
    EXPECT_EQ(docs[1].text, "### two\n```\ntwo()\n```\n");
    EXPECT_EQ(lua_examples(docs[0].text), std::vector<std::string>{"# not a heading\n"});
    EXPECT_TRUE(lua_examples(docs[1].text).empty());
}

}  // namespace
