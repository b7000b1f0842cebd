// quorvel functions and quorvel help NAME: the function reference
// built into the program.
#include "docs/doc_commands.h"

#include <cstdio>

#include "docs/function_docs.h"
#include "docs/function_listing.h"
#include "edit.h"

// quorvel functions: every function with its argument forms, by section,
// and what the plug-in's table adds (counts the forms do not show,
// functions the reference lacks).
int list_functions() {
    std::string error;
    const std::vector<PluginFunction> functions = plugin_functions(plugin_path(), &error);
    if (!error.empty()) print_error(error + "; listing the reference's forms only");
    std::fputs(function_listing(parse_function_docs(built_in_reference()), functions).c_str(),
               stdout);
    return 0;
}

// quorvel help NAME: the function's entry of the reference.
int show_function(const std::string& name) {
    const std::vector<FunctionDoc> docs = parse_function_docs(built_in_reference());
    for (const FunctionDoc& d : docs)
        if (d.name == name) {
            std::fputs(d.text.c_str(), stdout);
            return 0;
        }
    std::string similar;
    for (const FunctionDoc& d : docs)
        if (d.name.find(name) != std::string::npos || name.find(d.name) != std::string::npos)
            similar += (similar.empty() ? "" : ", ") + d.name;
    print_error("no function \"" + name + "\"" +
                (similar.empty() ? "" : " (perhaps " + similar + ")") +
                "; quorvel functions lists them");
    return 1;
}
