// The script's messages while frames run: each new one is shown on
// standard error the first time it happens (with a line of explanation for
// the known ones), the frames with messages are counted, and so is each
// different message for the summary (the first few kept whole).
//
// They come from the plug-in itself when it lets the host listen
// (QuorvelSetLogListener): whole, a message of several lines at once, and
// also when lua_err.txt cannot be written.  Otherwise the log file is
// followed line by line, also across a reload that deletes it.
#pragma once

#include <mutex>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

class PluginHost;

class ScriptLog {
public:
    explicit ScriptLog(std::string path) : path_(std::move(path)) {}
    ~ScriptLog();
    ScriptLog(const ScriptLog&) = delete;
    ScriptLog& operator=(const ScriptLog&) = delete;

    // Hears the plug-in's messages instead of reading the log; false when
    // the plug-in has no way to tell them (the file is followed then).
    bool listen(PluginHost& host);
    // The script, named with the messages that carry no position of their
    // own ("バッファが存在しません[25]" is raised by a native function).
    void set_script(std::string script) { script_ = std::move(script); }

    // Takes what the plug-in logged while frame `frame` ran (-1: outside a
    // frame) and shows what is new through `show`, one text a message.
    // Returns the messages taken.
    template <class Show>
    std::vector<std::string> poll(int frame, Show&& show) {
        std::vector<std::string> messages = take_new();
        if (messages.empty()) return messages;
        if (frame >= 0) ++frames_with_errors_;
        for (const std::string& message : messages) {
            const std::string text = note(message, frame);
            if (!text.empty()) show(text);
            count(message);
        }
        return messages;
    }

    // The messages logged since the last read, neither shown nor kept: the
    // preview shows each frame's errors as they are, and a session that
    // runs for hours must not hold every message it ever saw.
    std::vector<std::string> take_new_lines() { return take_new(); }

    // What the log already holds (from an earlier run) is not this run's.
    void skip_existing();

    int frames_with_errors() const { return frames_with_errors_; }
    // The first kKeptMessages different messages of the run, in order
    // (each whole when listening), with how often each came.
    static constexpr std::size_t kKeptMessages = 10;
    const std::vector<std::pair<std::string, int>>& counts() const { return counts_; }
    // How many other different messages came (counted, not kept).
    std::size_t other_messages() const { return others_.size(); }
    const std::string& path() const { return path_; }

    // Called by the plug-in, on the thread that runs the frame.
    void hear(const char* text);

private:
    std::vector<std::string> take_new();
    std::vector<std::string> read_new_lines();
    // The text to show for a message, or "" when it was shown before.
    std::string note(const std::string& message, int frame);
    void count(const std::string& message);

    std::string path_, script_;
    PluginHost* listening_to_ = nullptr;
    std::mutex heard_lock_;
    std::vector<std::string> heard_;  // messages heard, not yet taken
    int fd_ = -1;                     // the log as last opened
    std::string partial_;             // a line not yet ended
    std::vector<std::pair<std::string, int>> counts_;
    std::unordered_set<std::size_t> others_;  // hashes of the messages not kept
    std::vector<std::string> shown_;
    int frames_with_errors_ = 0;
    bool said_more_ = false;
};

// A message as the summary and the first showing print it: its lines after
// the first indented under it.
std::string indented(const std::string& message, const std::string& indent);
