// What a neighbourhood reads past the ends of a line: the one border helper.
//
// A line is a row or a column of `length` cells, 0 .. length - 1.  A window
// or a sampler near its ends asks for positions before 0 or from `length`
// on; each rule says what such a position reads, shown for a line "abcdef"
// and three positions on either side (`n`: a fixed value; `-`: nothing):
//
//   mirror    cba|abcdef|edc   The work plane's copies of a region (convolution,
//                              median, box mean, morphology): before the line
//                              the edge cell is repeated (-1 reads 0), after it
//                              not (length reads length - 2).  One reflection
//                              only: a position farther out lands past the
//                              other end, where the caller reads what it holds
//                              (a buffer beyond its picture) or nothing.
//   fold      dcb|abcdef|fed   Diffuse's random picks: the other way round (-1
//                              reads 1, length reads length - 1), repeated with
//                              a period of 2 length - 1, so every position
//                              reads a cell.
//   clamp     aaa|abcdef|fff   The resampling transforms: the edge cell again
//                              (a bilinear sample on the last cell is that cell).
//   cut       ---|abcdef|---   The Gaussian, the convolution, the box mean and the
//                              median of a work array: positions past the ends
//                              take no part; a weighted sum is divided by the
//                              weights of the cells that did (renormalised), a
//                              median is the middle of the cells left.
//   neutral   nnn|abcdef|nnn   Morphology: a value that never wins, 32767 for
//                              an erosion, -32768 for a dilation.
//   none      xyz|abcdef|ghi   No rule: positions read as they are, past the
//                              picture as far as the buffer goes (labelling).
#pragma once

namespace toolkit {

enum class border_rule { mirror, fold, clamp, cut, neutral, none };

// The cell that position v reads along a line of `length` >= 1 cells; -1
// when it reads no cell (cut and neutral past the ends).  mirror and none
// may give a position past the line, which the caller reads only where it
// holds something.
constexpr long long border_cell(border_rule rule, long long v, long long length) {
    if (v >= 0 && v < length) return v;
    switch (rule) {
        case border_rule::mirror:
            return v < 0 ? -1 - v : 2 * length - 2 - v;
        case border_rule::fold: {
            const long long period = 2 * length - 1;
            long long m = v % period;
            if (m < 0) m += period;
            return m <= length - 1 ? m : period - m;
        }
        case border_rule::clamp:
            return v < 0 ? 0 : length - 1;
        case border_rule::none:
            return v;
        default:  // cut, neutral
            return -1;
    }
}

// Offsets [begin, end) of a run of `count` positions from `first` that lie
// on a line of `length` cells: what a cut or neutral border keeps of a
// window, and where the other cells of a padded copy take the neutral value.
struct line_span {
    long long begin = 0, end = 0;

    bool empty() const { return begin >= end; }
    long long size() const { return end > begin ? end - begin : 0; }
    // Some of the run's `count` positions lie past the line.
    bool cut(long long count) const { return begin > 0 || end < count; }
};

constexpr line_span on_line(long long first, long long count, long long length) {
    const auto clamp = [](long long v, long long lo, long long hi) {
        return v < lo ? lo : v > hi ? hi : v;
    };
    const long long begin = clamp(-first, 0, count);
    return {begin, clamp(length - first, begin, count)};
}

// The positions of a run of `count` from `first` whose mirrored cell (along
// a line of `length`) lies in the first `held` cells, which is what a
// buffer of `held` cells holds: up to two spans of offsets into the run.
// Mirrored cells are [-held, -1] before the line, [0, min(length, held))
// on it and [max(length, 2 length - 1 - held), 2 length - 2] after it; they
// form one span unless the line is longer than the buffer.
struct mirror_spans {
    line_span span[2];
    int count = 0;
};

constexpr mirror_spans mirrored_into(long long first, long long count, long long length,
                                     long long held) {
    long long lo[2] = {-held, length > 2 * length - 1 - held ? length : 2 * length - 1 - held};
    long long hi[2] = {length < held ? length : held, 2 * length - 1};  // exclusive
    if (hi[0] >= lo[1]) {  // touching or overlapping: one span
        hi[0] = hi[0] > hi[1] ? hi[0] : hi[1];
        lo[1] = hi[1] = 0;
    }
    mirror_spans s;
    for (int k = 0; k < 2; ++k) {
        const line_span part = on_line(first - lo[k], count, hi[k] - lo[k]);
        if (!part.empty()) s.span[s.count++] = part;
    }
    return s;
}

}  // namespace toolkit
