#include "docs/script_messages.h"

#include <algorithm>
#include <cctype>
#include <regex>
#include <set>
#include <utility>
#include <vector>

#include "docs/function_docs.h"
#include "docs/function_listing.h"

const char* const kNoVideoFilter = "video_filter()が定義されていません";

namespace {

const std::vector<FunctionDoc>& reference() {
    static const std::vector<FunctionDoc> docs = parse_function_docs(built_in_reference());
    return docs;
}

// The plug-in's own counts (its library table), when the host program has
// read them.
std::vector<PluginFunction>& plugin_counts() {
    static std::vector<PluginFunction> functions;
    return functions;
}

// The argument counts a function accepts, rising: the plug-in's table's
// when it was read (empty: the function checks no count, so there is
// nothing to explain), else the reference's forms; none for a name neither
// has.
std::vector<int> argument_counts(const std::string& name) {
    for (const PluginFunction& f : plugin_counts())
        if (f.name == name) return f.counts;
    std::set<int> counts;
    for (const FunctionDoc& doc : reference())
        if (doc.name == name)
            for (const std::string& form : argument_forms(doc.text))
                counts.insert(form_argument_count(form));
    return {counts.begin(), counts.end()};
}

// Edits between two names (insertions, deletions, substitutions).
std::size_t distance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The script function whose name is nearest, within two edits; "" if none.
std::string nearest_function(const std::string& name) {
    std::string best;
    std::size_t best_distance = 3;
    for (const FunctionDoc& doc : reference()) {
        const std::size_t d = distance(name, doc.name);
        if (d < best_distance) best = doc.name, best_distance = d;
    }
    return best;
}

std::string explain_bad_argument(int index, const std::string& name, const std::string& why) {
    const std::string help = "quorvel help " + name;
    if (why == "wrong number of argument") {
        const std::vector<int> counts = argument_counts(name);
        if (counts.empty()) return "";
        return name + " takes " + describe_counts(counts) + ", got " + std::to_string(index) +
               ": " + help;
    }
    if (why == "テーブルの形式が不適切です")
        return "argument " + std::to_string(index) + " of " + name +
               " is not a table of the form it takes: " + help;
    if (why.rfind("number expected", 0) == 0)
        return "argument " + std::to_string(index) + " of " + name + " must be a number: " + help;
    return "";
}

}  // namespace

void use_plugin_argument_counts(std::vector<PluginFunction> functions) {
    plugin_counts() = std::move(functions);
}

std::string without_position(const std::string& message) {
    static const std::regex position(R"(^[^\n]*?:\d+: )");
    std::smatch m;
    if (std::regex_search(message, m, position)) return message.substr(m.length());
    return message;
}

std::string explain_script_message(const std::string& logged) {
    const std::string message = without_position(logged);
    std::smatch m;
    static const std::regex no_buffer(R"(^バッファが存在しません\[(-?\d+)\])");
    if (std::regex_search(message, m, no_buffer))
        return "buffer " + m[1].str() +
               " does not exist (buffers 0–19, and those made by createbuf)";
    static const std::regex bad_argument(R"(^bad argument #(\d+) to '([A-Za-z_0-9]+)' \((.*)\)$)");
    if (std::regex_search(message, m, bad_argument))
        return explain_bad_argument(std::stoi(m[1].str()), m[2].str(), m[3].str());
    static const std::regex undefined(
        R"(^attempt to call global '([A-Za-z_0-9]+)' \(a nil value\))");
    if (std::regex_search(message, m, undefined)) {
        const std::string near = nearest_function(m[1].str());
        return m[1].str() + " is not a function the script has" +
               (near.empty() ? "" : ": did you mean " + near + "?") +
               " (quorvel functions lists them)";
    }
    if (message == kNoVideoFilter)
        return "the script defines no function video_filter(info, vars), or it did not load "
               "(the message before says why)";
    if (message == "not enough memory")
        return "the script reached its memory cap (--memory-limit; buffers from createbuf "
               "count too)";
    if (message.rfind("script took longer than ", 0) == 0)
        return "the frame's time budget ran out: --frame-timeout S gives it more (0: no limit)";
    if (message == "メモリの確保に失敗しました")
        return "createbuf found no memory for another buffer (--memory-limit counts buffers too)";
    if (message.rfind("レジストリから", 0) == 0)
        return "the registry table LUA_FILTER_INFO, which the functions need, was changed by "
               "the script";
    return "";
}
