#include "script/pattern_matcher.h"

#include <cctype>
#include <cstring>

#include "platform/work_deadline.h"

namespace pattern {
namespace {

constexpr char kEscape = '%';

// %a, %d, ... : the class letter's test (upper case: its complement); any
// other character after % stands for itself.
bool class_matches(unsigned char c, unsigned char letter) {
    bool in;
    switch (std::tolower(letter)) {
        case 'a':
            in = std::isalpha(c);
            break;
        case 'c':
            in = std::iscntrl(c);
            break;
        case 'd':
            in = std::isdigit(c);
            break;
        case 'l':
            in = std::islower(c);
            break;
        case 'p':
            in = std::ispunct(c);
            break;
        case 's':
            in = std::isspace(c);
            break;
        case 'u':
            in = std::isupper(c);
            break;
        case 'w':
            in = std::isalnum(c);
            break;
        case 'x':
            in = std::isxdigit(c);
            break;
        case 'z':
            in = c == 0;
            break;
        default:
            return letter == c;
    }
    return std::isupper(letter) ? !in : in;
}

}  // namespace

const char* failure_text(Failure failure) {
    switch (failure) {
        case Failure::none:
            return "";
        case Failure::ends_with_percent:
            return "malformed pattern (ends with '%')";
        case Failure::missing_bracket:
            return "malformed pattern (missing ']')";
        case Failure::missing_frontier_set:
            return "missing '[' after '%f' in pattern";
        case Failure::unbalanced:
            return "unbalanced pattern";
        case Failure::invalid_capture_index:
            return "invalid capture index";
        case Failure::invalid_pattern_capture:
            return "invalid pattern capture";
        case Failure::too_many_captures:
            return "too many captures";
        case Failure::too_complex:
            return "pattern too complex";
        case Failure::over_budget:
            return "the frame's time budget is spent";
    }
    return "";
}

bool is_plain_text(const char* pattern) { return std::strpbrk(pattern, "^$*+?.([%-") == nullptr; }

Matcher::Matcher(const char* subject, std::size_t subject_size, const char* pattern,
                 std::size_t pattern_size)
    : subject_(subject), subject_end_(subject + subject_size) {
    const void* zero = std::memchr(pattern, 0, pattern_size);
    pattern_end_ = zero != nullptr ? static_cast<const char*>(zero) : pattern + pattern_size;
}

const char* Matcher::match(const char* at, const char* pattern_at) {
    level_ = 0;
    depth_ = 0;
    return match_from(at, pattern_at);
}

const char* Matcher::fail(Failure failure) {
    if (failure_ == Failure::none) failure_ = failure;
    return nullptr;
}

// Counts a step; false (with the failure set) once the deadline has passed.
bool Matcher::step() {
    if (failure_ != Failure::none) return false;
    if (++steps_ % kStepsPerDeadlineCheck != 0) return true;
    if (!work_deadline::passed()) return true;
    fail(Failure::over_budget);
    return false;
}

// Every way back into the matcher that can be tried again goes through
// here, so the depth counts the choices open at once.
const char* Matcher::match_from(const char* s, const char* p) {
    if (depth_ >= kMaxDepth) return fail(Failure::too_complex);
    ++depth_;
    const char* end = match_here(s, p);
    --depth_;
    return end;
}

// Matches the rest of the pattern at s.  Items that cannot be tried another
// way (a plain item, %b, %f, a back-reference) are taken in the loop; the
// others go back through match_from for each way they can be tried.
const char* Matcher::match_here(const char* s, const char* p) {
    for (;;) {
        if (!step()) return nullptr;
        if (p == pattern_end_) return s;
        const bool has_next = p + 1 < pattern_end_;
        switch (*p) {
            case '(':
                if (has_next && p[1] == ')') return open_capture(s, p + 2, kPosition);
                return open_capture(s, p + 1, kUnfinished);
            case ')':
                return close_capture(s, p + 1);
            case '$':
                if (!has_next) return s == subject_end_ ? s : nullptr;
                break;  // elsewhere a '$' is itself
            case kEscape:
                if (!has_next) break;  // item_end reports it
                if (p[1] == 'b') {
                    s = balanced(s, p + 2);
                    if (s == nullptr) return nullptr;
                    p += 4;
                    continue;
                }
                if (p[1] == 'f') {
                    s = frontier(s, p + 2, &p);
                    if (s == nullptr) return nullptr;
                    continue;
                }
                if (std::isdigit(static_cast<unsigned char>(p[1]))) {
                    s = back_reference(s, p[1]);
                    if (s == nullptr) return nullptr;
                    p += 2;
                    continue;
                }
                break;
            default:
                break;
        }
        // A single-character item, perhaps followed by a repetition mark.
        const char* end = item_end(p);
        if (end == nullptr) return nullptr;
        const bool one = s < subject_end_ && item_matches(static_cast<unsigned char>(*s), p, end);
        const char mark = end < pattern_end_ ? *end : '\0';
        switch (mark) {
            case '?':
                if (one) {
                    const char* matched = match_from(s + 1, end + 1);
                    if (matched != nullptr || failure_ != Failure::none) return matched;
                }
                p = end + 1;
                continue;
            case '*':
                return greedy(s, p, end);
            case '+':
                return one ? greedy(s + 1, p, end) : nullptr;
            case '-':
                return lazy(s, p, end);
            default:
                if (!one) return nullptr;
                ++s;
                p = end;
                continue;
        }
    }
}

// The end of the single-character item at p: after '.', a character, %x
// or a whole [set].
const char* Matcher::item_end(const char* p) {
    const char first = *p++;
    if (first == kEscape) {
        if (p == pattern_end_) return fail(Failure::ends_with_percent);
        return p + 1;
    }
    if (first != '[') return p;
    if (p < pattern_end_ && *p == '^') ++p;
    // The first character of a set is part of it even when it is ']'.
    for (;;) {
        if (p >= pattern_end_) return fail(Failure::missing_bracket);
        const char c = *p++;
        if (c == kEscape && p < pattern_end_) ++p;
        if (p < pattern_end_ && *p == ']') return p + 1;
    }
}

bool Matcher::item_matches(unsigned char c, const char* p, const char* end) const {
    switch (*p) {
        case '.':
            return true;
        case kEscape:
            return class_matches(c, static_cast<unsigned char>(p[1]));
        case '[':
            return set_matches(c, p, end - 1);
        default:
            return static_cast<unsigned char>(*p) == c;
    }
}

// [set] from `open` ('[') to `close` (its ']'): classes, ranges x-y and
// characters, all of it negated by a leading '^'.
bool Matcher::set_matches(unsigned char c, const char* open, const char* close) const {
    const char* q = open + 1;
    const bool negated = *q == '^';
    if (negated) ++q;
    bool found = false;
    while (q < close && !found) {
        if (*q == kEscape) {
            found = class_matches(c, static_cast<unsigned char>(q[1]));
            q += 2;
        } else if (q[1] == '-' && q + 2 < close) {
            found = static_cast<unsigned char>(q[0]) <= c && c <= static_cast<unsigned char>(q[2]);
            q += 3;
        } else {
            found = static_cast<unsigned char>(*q) == c;
            ++q;
        }
    }
    return found != negated;
}

// x*: as many as match, then fewer until the rest matches.
const char* Matcher::greedy(const char* s, const char* p, const char* end) {
    std::ptrdiff_t count = 0;
    while (s + count < subject_end_ && item_matches(static_cast<unsigned char>(s[count]), p, end)) {
        ++count;
        if (!step()) return nullptr;
    }
    for (;; --count) {
        const char* matched = match_from(s + count, end + 1);
        if (matched != nullptr || failure_ != Failure::none) return matched;
        if (count == 0) return nullptr;
    }
}

// x-: as few as the rest allows.
const char* Matcher::lazy(const char* s, const char* p, const char* end) {
    for (;;) {
        const char* matched = match_from(s, end + 1);
        if (matched != nullptr || failure_ != Failure::none) return matched;
        if (s >= subject_end_ || !item_matches(static_cast<unsigned char>(*s), p, end))
            return nullptr;
        ++s;
    }
}

const char* Matcher::open_capture(const char* s, const char* p, std::ptrdiff_t kind) {
    if (level_ >= kMaxCaptures) return fail(Failure::too_many_captures);
    captures_[level_] = {s, kind};
    ++level_;
    const char* matched = match_from(s, p);
    if (matched == nullptr) --level_;
    return matched;
}

// ')' closes the innermost capture still open.
const char* Matcher::close_capture(const char* s, const char* p) {
    int open = level_ - 1;
    while (open >= 0 && captures_[open].length != kUnfinished) --open;
    if (open < 0) return fail(Failure::invalid_pattern_capture);
    captures_[open].length = s - captures_[open].start;
    const char* matched = match_from(s, p);
    if (matched == nullptr) captures_[open].length = kUnfinished;
    return matched;
}

// %1 .. %9: the text of a closed capture again.  A position capture has no
// text and never matches.
const char* Matcher::back_reference(const char* s, char digit) {
    const int index = digit - '1';
    if (index < 0 || index >= level_ || captures_[index].length == kUnfinished)
        return fail(Failure::invalid_capture_index);
    const Capture& c = captures_[index];
    if (c.length == kPosition || subject_end_ - s < c.length) return nullptr;
    if (std::memcmp(c.start, s, static_cast<std::size_t>(c.length)) != 0) return nullptr;
    return s + c.length;
}

// %bxy at p ("xy"): from an x to the y that balances it.
const char* Matcher::balanced(const char* s, const char* p) {
    if (p + 1 >= pattern_end_) return fail(Failure::unbalanced);
    const char open = p[0], close = p[1];
    if (s >= subject_end_ || *s != open) return nullptr;
    int depth = 1;
    for (const char* q = s + 1; q < subject_end_; ++q) {
        if (!step()) return nullptr;
        if (*q == close) {
            if (--depth == 0) return q + 1;
        } else if (*q == open) {
            ++depth;
        }
    }
    return nullptr;
}

// %f[set] at p ("[set]"): the place between a character outside the set and
// one inside it; the subject's start and end count as the zero character.
const char* Matcher::frontier(const char* s, const char* p, const char** after) {
    if (p >= pattern_end_ || *p != '[') return fail(Failure::missing_frontier_set);
    const char* end = item_end(p);
    if (end == nullptr) return nullptr;
    const unsigned char before = s == subject_ ? 0 : static_cast<unsigned char>(s[-1]);
    const unsigned char here = s < subject_end_ ? static_cast<unsigned char>(*s) : 0;
    if (set_matches(before, p, end - 1) || !set_matches(here, p, end - 1)) return nullptr;
    *after = end;
    return s;
}

}  // namespace pattern
