#include "docs/function_listing.h"

#include <algorithm>
#include <set>

#include "host/host_os.h"

namespace {

using LibraryFunctionExport = int (*)(int index, const char** name, unsigned* counts);

const PluginFunction* find_function(const std::vector<PluginFunction>& functions,
                                    const std::string& name) {
    for (const PluginFunction& f : functions)
        if (f.name == name) return &f;
    return nullptr;
}

// The note under a function's forms, or "" when the forms say it all.
std::string counts_note(const FunctionDoc& doc, const std::vector<PluginFunction>& functions) {
    const PluginFunction* f = find_function(functions, doc.name);
    if (f == nullptr) return "(" + doc.name + " is not in the plug-in)";
    std::set<int> shown;
    for (const std::string& form : argument_forms(doc.text))
        shown.insert(form_argument_count(form));
    // A function that checks no count reads what its forms show.
    if (f->counts.empty()) return "(" + doc.name + " ignores extra arguments)";
    if (std::set<int>(f->counts.begin(), f->counts.end()) == shown) return "";
    return "(" + doc.name + " takes " + describe_counts(f->counts) + ")";
}

}  // namespace

std::vector<PluginFunction> plugin_functions(const std::string& plugin_path, std::string* error) {
    std::vector<PluginFunction> functions;
    std::string why;
    void* library = host_os::load_library(plugin_path, &why);
    if (library == nullptr) {
        *error = "cannot load " + plugin_path + ": " + why;
        return functions;
    }
    auto entry = reinterpret_cast<LibraryFunctionExport>(
        host_os::library_symbol(library, "QuorvelLibraryFunction"));
    if (entry == nullptr) {
        *error = plugin_path + " does not list its functions";
    } else {
        const char* name = nullptr;
        unsigned bits = 0;
        for (int k = 0; entry(k, &name, &bits) != 0; ++k)
            functions.push_back({name, counts_of_bits(bits)});
    }
    host_os::unload_library(library);
    return functions;
}

std::vector<int> counts_of_bits(unsigned bits) {
    std::vector<int> counts;
    for (int n = 0; n < 32; ++n)
        if ((bits >> n) & 1u) counts.push_back(n);
    return counts;
}

std::string describe_counts(const std::vector<int>& counts) {
    if (counts.empty()) return "any number of arguments";
    // Runs of three or more consecutive counts read "a to b".
    std::vector<std::string> parts;
    for (std::size_t i = 0; i < counts.size();) {
        std::size_t j = i;
        while (j + 1 < counts.size() && counts[j + 1] == counts[j] + 1) ++j;
        if (j - i >= 2) {
            parts.push_back(std::to_string(counts[i]) + " to " + std::to_string(counts[j]));
            i = j + 1;
        } else {
            parts.push_back(std::to_string(counts[i]));
            ++i;
        }
    }
    std::string text = parts[0];
    for (std::size_t k = 1; k < parts.size(); ++k)
        text += (k + 1 == parts.size() ? " or " : ", ") + parts[k];
    const bool one = counts.size() == 1 && counts[0] == 1;
    return text + (one ? " argument" : " arguments");
}

int form_argument_count(const std::string& form) {
    const std::size_t open = form.find('('), close = form.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) return 0;
    const std::string inside = form.substr(open + 1, close - open - 1);
    if (inside.find_first_not_of(' ') == std::string::npos) return 0;
    return static_cast<int>(std::count(inside.begin(), inside.end(), ',')) + 1;
}

std::string function_listing(const std::vector<FunctionDoc>& docs,
                             const std::vector<PluginFunction>& functions) {
    std::string out, section;
    for (const FunctionDoc& d : docs) {
        if (d.section != section) {
            section = d.section;
            out += (out.empty() ? "" : "\n") + section + "\n";
        }
        for (const std::string& form : argument_forms(d.text)) out += "  " + form + "\n";
        const std::string note = functions.empty() ? "" : counts_note(d, functions);
        if (!note.empty()) out += "  " + note + "\n";
    }
    std::string undocumented;
    for (const PluginFunction& f : functions) {
        const bool documented = std::any_of(docs.begin(), docs.end(),
                                            [&](const FunctionDoc& d) { return d.name == f.name; });
        if (!documented) undocumented += "  " + f.name + ": " + describe_counts(f.counts) + "\n";
    }
    if (!undocumented.empty()) out += "\nNot in the reference\n" + undocumented;
    return out + "\nquorvel help NAME prints a function's entry.\n";
}
