// The script language's string patterns (the rules of Lua 5.1's reference
// manual, section 5.4.1), matched with two guards the engine's own matcher
// lacks: a limit on how deeply items nest while backtracking, so a long
// pattern cannot overflow the native stack, and a step count that looks at
// the frame's deadline, so a pattern that backtracks for hours ends with the
// frame's budget.
//
// The matcher knows nothing of Lua: it reports why it stopped, and the
// string functions (guarded_patterns.cpp) turn that into the script error.
// It holds no memory of its own (fixed arrays only), so a Lua error may be
// raised while one is alive.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pattern {

constexpr int kMaxCaptures = 32;
// Backtracking items open at once ("pattern too complex" beyond), as later
// versions of the language limit it.
constexpr int kMaxDepth = 200;
// Steps between looks at the frame's deadline.
constexpr std::uint32_t kStepsPerDeadlineCheck = 1u << 12;

// Why a match stopped other than by matching or not matching.
enum class Failure {
    none,
    ends_with_percent,     // "malformed pattern (ends with '%')"
    missing_bracket,       // "malformed pattern (missing ']')"
    missing_frontier_set,  // "missing '[' after '%f' in pattern"
    unbalanced,            // "unbalanced pattern"
    invalid_capture_index,
    invalid_pattern_capture,
    too_many_captures,
    too_complex,
    over_budget,
};

// The message the script sees for a failure (over_budget has the engine's own).
const char* failure_text(Failure failure);

// A capture's length, or one of these marks.
constexpr std::ptrdiff_t kUnfinished = -1;
constexpr std::ptrdiff_t kPosition = -2;

struct Capture {
    const char* start;
    std::ptrdiff_t length;
};

class Matcher {
public:
    // The subject and the pattern are not copied.  The pattern ends at its
    // first zero byte, as the language's patterns do (%z stands for one).
    Matcher(const char* subject, std::size_t subject_size, const char* pattern,
            std::size_t pattern_size);

    // Where the pattern (from `pattern_at`, a position inside the pattern)
    // matched starting at `at`: the end of the match, or null when it did
    // not match or failed (see failure()).  Captures start afresh.
    const char* match(const char* at, const char* pattern_at);

    Failure failure() const { return failure_; }
    int capture_count() const { return level_; }
    const Capture& capture(int i) const { return captures_[i]; }
    const char* subject() const { return subject_; }
    const char* subject_end() const { return subject_end_; }
    const char* pattern_end() const { return pattern_end_; }

private:
    const char* match_from(const char* s, const char* p);
    const char* match_here(const char* s, const char* p);
    const char* item_end(const char* p);
    bool item_matches(unsigned char c, const char* p, const char* end) const;
    bool set_matches(unsigned char c, const char* open, const char* close) const;
    const char* greedy(const char* s, const char* p, const char* end);
    const char* lazy(const char* s, const char* p, const char* end);
    const char* open_capture(const char* s, const char* p, std::ptrdiff_t kind);
    const char* close_capture(const char* s, const char* p);
    const char* back_reference(const char* s, char digit);
    const char* balanced(const char* s, const char* p);
    const char* frontier(const char* s, const char* p, const char** after);
    bool step();
    const char* fail(Failure failure);

    const char* subject_;
    const char* subject_end_;
    const char* pattern_end_;
    int level_ = 0;
    int depth_ = 0;
    std::uint32_t steps_ = 0;
    Failure failure_ = Failure::none;
    Capture captures_[kMaxCaptures];
};

// True when a pattern has none of the characters that make it more than
// plain text (up to its first zero byte), so a search can compare bytes.
bool is_plain_text(const char* pattern);

}  // namespace pattern
