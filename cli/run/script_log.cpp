#include "run/script_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "docs/script_messages.h"
#include "host/plugin_host.h"

#ifdef _WIN32
// The log's descriptor is not handed to programs the script starts.
#define O_CLOEXEC _O_NOINHERIT
#endif

namespace {

constexpr std::size_t kShownErrors = 10;  // different errors shown before the rest are only counted

// The log the plug-in's messages go to while it is heard (one plug-in, one
// log at a time).
ScriptLog* listening_log = nullptr;

void hear_plugin(const char* text) {
    if (listening_log != nullptr) listening_log->hear(text);
}

// Whether the log at the path is still the file we hold open.  Windows has
// no inode numbers (and stat and fstat disagree on the device); there a file
// held open cannot be deleted and replaced anyway, it is truncated instead.
bool same_file(const struct stat& at_path, const struct stat& open_file) {
#ifdef _WIN32
    static_cast<void>(at_path), static_cast<void>(open_file);
    return true;
#else
    return at_path.st_ino == open_file.st_ino && at_path.st_dev == open_file.st_dev;
#endif
}

}  // namespace

ScriptLog::~ScriptLog() {
    if (listening_to_ != nullptr) {
        listening_to_->set_log_listener(nullptr);
        listening_log = nullptr;
    }
    if (fd_ >= 0) close(fd_);
}

bool ScriptLog::listen(PluginHost& host) {
    listening_log = this;
    if (!host.set_log_listener(hear_plugin)) {
        listening_log = nullptr;
        return false;
    }
    listening_to_ = &host;
    return true;
}

void ScriptLog::hear(const char* text) {
    // Called from inside the plug-in: nothing may be thrown back into it.
    try {
        std::lock_guard<std::mutex> hold(heard_lock_);
        heard_.emplace_back(text);
    } catch (...) {
    }
}

std::vector<std::string> ScriptLog::take_new() {
    if (listening_to_ == nullptr) return read_new_lines();
    std::lock_guard<std::mutex> hold(heard_lock_);
    std::vector<std::string> messages;
    messages.swap(heard_);
    return messages;
}

std::string indented(const std::string& message, const std::string& indent) {
    std::string text;
    for (char c : message) {
        text += c;
        if (c == '\n') text += indent;
    }
    return text;
}

std::vector<std::string> ScriptLog::read_new_lines() {
    std::string text;
    const auto drain = [&] {
        char buffer[4096];
        for (ssize_t n; (n = read(fd_, buffer, sizeof buffer)) > 0;)
            text.append(buffer, static_cast<std::size_t>(n));
    };
    struct stat at_path {};
    const bool exists = stat(path_.c_str(), &at_path) == 0;
    if (fd_ >= 0) {
        struct stat open_file {};
        fstat(fd_, &open_file);
        // Truncated in place: read it again from the start.
        if (open_file.st_size < lseek(fd_, 0, SEEK_CUR)) lseek(fd_, 0, SEEK_SET);
        drain();
        // A reload deletes the log and the next error makes a new one.
        if (!exists || !same_file(at_path, open_file)) {
            close(fd_);
            fd_ = -1;
        }
    }
    if (fd_ < 0 && exists && (fd_ = open(path_.c_str(), O_RDONLY | O_CLOEXEC)) >= 0) drain();

    std::vector<std::string> lines;
    partial_ += text;
    std::size_t start = 0;
    for (std::size_t end; (end = partial_.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(partial_.substr(start, end - start));
    partial_.erase(0, start);
    return lines;
}

std::string ScriptLog::note(const std::string& message, int frame) {
    if (std::find(shown_.begin(), shown_.end(), message) != shown_.end()) return "";
    if (shown_.size() >= kShownErrors) {
        if (said_more_) return "";
        said_more_ = true;
        return "further script errors are only counted (all are in " + path_ + ")";
    }
    shown_.push_back(message);
    std::string text = frame >= 0 ? "frame " + std::to_string(frame) + ": " : std::string();
    // A message without a position of its own is said with the script's name.
    if (!script_.empty() && without_position(message) == message && message.rfind(script_, 0) != 0)
        text += script_ + ": ";
    text += indented(message, "  ");
    const std::string why = explain_script_message(message);
    if (!why.empty()) text += "\n  " + why;
    return text;
}

void ScriptLog::count(const std::string& message) {
    auto it = std::find_if(counts_.begin(), counts_.end(),
                           [&](const auto& c) { return c.first == message; });
    if (it != counts_.end())
        ++it->second;
    else if (counts_.size() < kKeptMessages)
        counts_.emplace_back(message, 1);
    else
        others_.insert(std::hash<std::string>{}(message));
}

void ScriptLog::skip_existing() {
    if (fd_ >= 0) close(fd_);
    fd_ = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ >= 0) lseek(fd_, 0, SEEK_END);
}
