// docs/functions.md documents exactly the functions the library registers,
// one entry each, in the shape `quorvel help NAME` prints, with forms that
// agree with the argument counts of each function's row; and the listing of
// `quorvel functions` adds what the rows know beyond the forms.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "docs/function_docs.h"
#include "docs/function_listing.h"
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
    for (const LibraryFunction* row : library_functions()) names.insert(row->name);
    return names;
}

// The library as the host program reads it from the plug-in's export.
std::vector<PluginFunction> exported_functions() {
    std::vector<PluginFunction> functions;
    const char* name = nullptr;
    unsigned bits = 0;
    for (int k = 0; QuorvelLibraryFunction(k, &name, &bits) != 0; ++k)
        functions.push_back({name, counts_of_bits(bits)});
    return functions;
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

TEST(FunctionReference, FormsShowOnlyAcceptedCountsAndTheFewestAndMost) {
    for (const FunctionDoc& d : parse_function_docs(read_reference())) {
        const LibraryFunction* row = find_library_function(d.name.c_str());
        if (row == nullptr) continue;  // reported by the test above
        std::set<int> shown;
        for (const std::string& form : argument_forms(d.text)) {
            const int n = form_argument_count(form);
            shown.insert(n);
            EXPECT_TRUE(row->counts.accepts(n)) << d.name << ": the form " << form << " has " << n
                                                << " arguments, which the function refuses";
        }
        const std::vector<int> accepted = row->counts.listed();
        if (accepted.empty()) continue;  // any count
        EXPECT_TRUE(shown.count(accepted.front()))
            << d.name << ": no form of " << accepted.front() << " arguments";
        EXPECT_TRUE(shown.count(accepted.back()))
            << d.name << ": no form of " << accepted.back() << " arguments";
    }
}

TEST(FunctionListing, CountsAreDescribedAsAScriptWriterReadsThem) {
    EXPECT_EQ(describe_counts({9}), "9 arguments");
    EXPECT_EQ(describe_counts({1}), "1 argument");
    EXPECT_EQ(describe_counts({0}), "0 arguments");
    EXPECT_EQ(describe_counts({2, 8}), "2 or 8 arguments");
    EXPECT_EQ(describe_counts({2, 8, 9, 12}), "2, 8, 9 or 12 arguments");
    EXPECT_EQ(describe_counts({8, 9, 10, 11, 12, 13, 14}), "8 to 14 arguments");
    EXPECT_EQ(describe_counts({1, 3, 4, 5, 9}), "1, 3 to 5 or 9 arguments");
    EXPECT_EQ(describe_counts({}), "any number of arguments");
    EXPECT_EQ(counts_of_bits(0x7F00u), (std::vector<int>{8, 9, 10, 11, 12, 13, 14}));
    EXPECT_EQ(form_argument_count("swapbuf()"), 0);
    EXPECT_EQ(form_argument_count("n = createbuf( )"), 0);
    EXPECT_EQ(form_argument_count("releasebuf(n)"), 1);
    EXPECT_EQ(form_argument_count("x, y = mask_center(mask, x, y, w, h, threshold)"), 6);
}

TEST(FunctionListing, AddsWhatTheTableKnowsBeyondTheForms) {
    const std::vector<FunctionDoc> docs = parse_function_docs(read_reference());
    std::vector<PluginFunction> functions = exported_functions();
    ASSERT_EQ(functions.size(), library_functions().size());
    const std::string listing = function_listing(docs, functions);
    EXPECT_NE(listing.find("  list = label4(src, dst, sx, sy, w, h, dx, dy)\n"), std::string::npos);
    EXPECT_NE(listing.find("  (label4 takes 8 to 14 arguments)\n"), std::string::npos) << listing;
    EXPECT_NE(listing.find("  (swapbuf ignores extra arguments)\n"), std::string::npos);
    // Forms that show every count get no note.
    EXPECT_EQ(listing.find("(copy takes"), std::string::npos);
    EXPECT_EQ(listing.find("Not in the reference"), std::string::npos);
    EXPECT_EQ(listing.find("is not in the plug-in"), std::string::npos);

    // A plug-in with a function the reference lacks, and without one it has.
    functions.push_back({"blur_more", {3, 4}});
    functions.erase(functions.begin());  // swapbuf
    const std::string other = function_listing(docs, functions);
    EXPECT_NE(other.find("\nNot in the reference\n  blur_more: 3 or 4 arguments\n"),
              std::string::npos)
        << other;
    EXPECT_NE(other.find("  swapbuf()\n  (swapbuf is not in the plug-in)\n"), std::string::npos);
    // Without the plug-in's table, the forms alone.
    const std::string forms_only = function_listing(docs, {});
    EXPECT_EQ(forms_only.find("takes"), std::string::npos);
    EXPECT_EQ(forms_only.find("ignores"), std::string::npos);
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
