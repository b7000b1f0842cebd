// What `quorvel functions` prints: the plug-in's functions as its library
// table reports them (names and accepted argument counts), with their
// argument forms from the built-in reference.
#pragma once

#include <string>
#include <vector>

#include "docs/function_docs.h"

// A function of the plug-in's library.
struct PluginFunction {
    std::string name;
    std::vector<int> counts;  // the accepted argument counts; empty: any count
};

// The plug-in's functions in their order of registration, read through its
// export QuorvelLibraryFunction; empty, with a message, when the plug-in
// cannot be loaded or has no such export.
std::vector<PluginFunction> plugin_functions(const std::string& plugin_path, std::string* error);

// The counts of an export's bit set (bit n: n arguments; 0: any count).
std::vector<int> counts_of_bits(unsigned bits);

// "9 arguments", "2 or 8 arguments", "8 to 14 arguments", "any number of
// arguments".
std::string describe_counts(const std::vector<int>& counts);

// The number of arguments an argument form shows: "copy(src, dst)" has 2.
int form_argument_count(const std::string& form);

// The listing: each section of the reference with the forms of its
// functions; a note where a function takes counts its forms do not show,
// ignores extra arguments or is missing from the plug-in; last, the
// plug-in's functions that the reference does not document.  Without
// plug-in functions, the forms alone.
std::string function_listing(const std::vector<FunctionDoc>& docs,
                             const std::vector<PluginFunction>& functions);
