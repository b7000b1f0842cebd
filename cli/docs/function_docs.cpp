#include "docs/function_docs.h"

#include <sstream>

namespace {

bool starts_with(const std::string& line, const char* prefix) { return line.rfind(prefix, 0) == 0; }

}  // namespace

std::vector<FunctionDoc> parse_function_docs(const std::string& markdown) {
    std::vector<FunctionDoc> docs;
    std::istringstream in(markdown);
    std::string line;
    bool in_code = false;
    bool in_entry = false;
    std::string section;
    const auto heading = [](const std::string& l, std::size_t skip) {
        std::string name = l.substr(skip);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\r')) name.pop_back();
        return name;
    };
    while (std::getline(in, line)) {
        if (!in_code && starts_with(line, "#")) {
            in_entry = starts_with(line, "### ");
            if (starts_with(line, "## ")) section = heading(line, 3);
            if (in_entry) docs.push_back({heading(line, 4), "", section});
        }
        if (starts_with(line, "```")) in_code = !in_code;
        if (in_entry) docs.back().text += line + "\n";
    }
    return docs;
}

std::vector<std::string> lua_examples(const std::string& entry) {
    std::vector<std::string> examples;
    std::istringstream in(entry);
    std::string line;
    bool in_code = false, in_lua = false;
    while (std::getline(in, line)) {
        if (starts_with(line, "```")) {
            in_lua = !in_code && line.substr(3) == "lua";
            in_code = !in_code;
            if (in_lua) examples.emplace_back();
            continue;
        }
        if (in_lua) examples.back() += line + "\n";
    }
    return examples;
}

std::vector<std::string> argument_forms(const std::string& entry) {
    std::vector<std::string> forms;
    std::istringstream in(entry);
    std::string line;
    bool in_code = false, plain = false;
    while (std::getline(in, line)) {
        if (starts_with(line, "```")) {
            if (in_code && plain) break;
            in_code = !in_code;
            plain = in_code && line.size() == 3;  // a block with a language is an example
            continue;
        }
        if (in_code && plain && !line.empty()) forms.push_back(line);
    }
    return forms;
}
