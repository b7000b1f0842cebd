// quorvel functions and quorvel help NAME: the function reference
// built into the program.
#include "docs/doc_commands.h"

#include <cstdio>

#include "docs/function_docs.h"
#include "edit.h"

// quorvel functions: every function with its argument forms, by section.
int list_functions() {
    std::string section;
    for (const FunctionDoc& d : parse_function_docs(built_in_reference())) {
        if (d.section != section) {
            section = d.section;
            std::printf("%s%s\n", section.empty() ? "" : "\n", section.c_str());
        }
        for (const std::string& form : argument_forms(d.text)) std::printf("  %s\n", form.c_str());
    }
    std::printf("\nquorvel help NAME prints a function's entry.\n");
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
