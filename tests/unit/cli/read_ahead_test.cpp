// The host program's reader thread: the frames, errors and answers out of
// order are those of the source it wraps, in the same order; the source is
// touched by one thread only; the reader ends when its owner does.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "media/read_ahead.h"

namespace {

constexpr int kW = 4, kH = 3;

// Frame n's picture: every sample says n and where it is.
PIXEL_YC sample_of(int n, int i) {
    return {static_cast<short>(n), static_cast<short>(i), static_cast<short>(-n)};
}

// Twenty frames, or a stream of them; reading frame `fail_at` fails.  Every
// call notes its thread, and reading is slow enough for the caller to wait.
class CountingSource : public FrameSource {
public:
    explicit CountingSource(bool random, int fail_at = -1) : fail_at_(fail_at) {
        width_ = kW, height_ = kH, frame_count_ = 20, random_access_ = random;
    }
    bool seek(int n, std::string* error) override {
        note();
        if (!random_access_) return FrameSource::seek(n, error);
        if (n >= frame_count_) {
            *error = "no frame " + std::to_string(n);
            return false;
        }
        next_ = n;
        return true;
    }
    bool read_next(PIXEL_YC* pixels, int stride, std::int64_t* pts, std::string* error) override {
        note();
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        error->clear();
        if (next_ >= frame_count_) return false;
        if (next_ == fail_at_) {
            *error = "frame " + std::to_string(next_) + " is broken";
            return false;
        }
        highest_read = std::max(highest_read.load(), next_);
        *pts = 1000 + next_;
        return read_at(next_++, pixels, stride, error);
    }
    bool read_at(int n, PIXEL_YC* pixels, int stride, std::string*) override {
        note();
        if (n < 0 || n >= frame_count_) return false;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) pixels[y * stride + x] = sample_of(n, y * kW + x);
        return true;
    }
    std::vector<std::string> damage(int first, int last, bool* cut_short) const override {
        note();
        *cut_short = last == 19;
        return {"damage " + std::to_string(first) + ".." + std::to_string(last)};
    }
    std::set<std::thread::id> threads() const {
        std::lock_guard<std::mutex> hold(m_);
        return threads_;
    }
    std::atomic<int> highest_read{-1};

private:
    void note() const {
        std::lock_guard<std::mutex> hold(m_);
        threads_.insert(std::this_thread::get_id());
    }
    int fail_at_;
    mutable std::mutex m_;
    mutable std::set<std::thread::id> threads_;
};

// What a reader of a source sees: each call's result as text.
struct Transcript {
    std::vector<std::string> lines;
    void next(FrameSource& s) {
        std::vector<PIXEL_YC> picture(kW * 2 * kH);  // rows wider than the picture
        std::int64_t pts = -1;
        std::string error = "stale";
        const bool ok = s.read_next(picture.data(), kW * 2, &pts, &error);
        lines.push_back("next " + std::to_string(ok) + " " + error + " " +
                        (ok ? describe(picture) + " @" + std::to_string(pts) : ""));
    }
    void at(FrameSource& s, int n) {
        std::vector<PIXEL_YC> picture(kW * 2 * kH);
        std::string error;
        const bool ok = s.read_at(n, picture.data(), kW * 2, &error);
        lines.push_back("at " + std::to_string(ok) + " " + error + " " +
                        (ok ? describe(picture) : ""));
    }
    void seek(FrameSource& s, int n) {
        std::string error;
        const bool ok = s.seek(n, &error);
        lines.push_back("seek " + std::to_string(ok) + " " + error);
    }
    static std::string describe(const std::vector<PIXEL_YC>& picture) {
        std::string text;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const PIXEL_YC& p = picture[y * kW * 2 + x];
                const PIXEL_YC want = sample_of(p.y, y * kW + x);
                if (p.cb != want.cb || p.cr != want.cr) return "torn";
            }
        return "frame " + std::to_string(picture[0].y);
    }
};

// The same calls on the source alone and through the reader.
template <typename Calls>
void expect_same(bool random, int fail_at, int stop, Calls calls) {
    CountingSource plain(random, fail_at);
    Transcript want;
    calls(plain, want);
    auto inner = std::make_unique<CountingSource>(random, fail_at);
    CountingSource* watched = inner.get();
    Transcript got;
    {
        ReadAheadSource ahead(std::move(inner), stop);
        ASSERT_TRUE(ahead.start());
        calls(ahead, got);
        EXPECT_EQ(got.lines, want.lines);
        // Only the reader thread has touched the source.
        const std::set<std::thread::id> threads = watched->threads();
        EXPECT_EQ(threads.size(), 1u);
        EXPECT_EQ(threads.count(std::this_thread::get_id()), 0u);
    }
}

TEST(ReadAhead, FramesSeeksAndCopyframesAnswerAsTheSourceDoes) {
    // Back-references between frames, a seek back and one ahead, the end.
    expect_same(true, -1, INT_MAX, [](FrameSource& s, Transcript& t) {
        t.seek(s, 2);
        for (int k = 0; k < 6; ++k) t.next(s), t.at(s, 2 + k - 1), t.at(s, 19 - k);
        t.seek(s, 1);
        t.next(s);
        t.seek(s, 15);
        t.seek(s, 40);  // refused: the frames queued stay
        for (int k = 0; k < 7; ++k) t.next(s);
        t.at(s, -1);
    });
    // A stream passes over the frames before the one it starts at.
    expect_same(false, -1, INT_MAX, [](FrameSource& s, Transcript& t) {
        t.next(s);
        t.seek(s, 5);
        for (int k = 0; k < 16; ++k) t.next(s);
        t.at(s, 3);
    });
}

TEST(ReadAhead, ErrorsComeAtTheFrameWhereTheyHappenAndStay) {
    for (bool random : {true, false})
        expect_same(random, 7, INT_MAX, [](FrameSource& s, Transcript& t) {
            for (int k = 0; k < 9; ++k) t.next(s);
        });
    // A seek past a failed read reads on from there.
    expect_same(true, 7, INT_MAX, [](FrameSource& s, Transcript& t) {
        for (int k = 0; k < 8; ++k) t.next(s);
        t.seek(s, 9);
        t.next(s);
    });
}

TEST(ReadAhead, TheDamageReportIsTheSourcesForTheFramesAsked) {
    auto inner = std::make_unique<CountingSource>(true);
    ReadAheadSource ahead(std::move(inner), INT_MAX);
    ASSERT_TRUE(ahead.start());
    Transcript t;
    t.next(ahead);
    bool cut_short = false;
    EXPECT_EQ(ahead.damage(3, 19, &cut_short), std::vector<std::string>{"damage 3..19"});
    EXPECT_TRUE(cut_short);
    ahead.damage(0, 4, &cut_short);
    EXPECT_FALSE(cut_short);
}

TEST(ReadAhead, ReadsNoFurtherThanTheCutUnlessAskedAndStopsWithItsOwner) {
    auto inner = std::make_unique<CountingSource>(false);
    CountingSource* watched = inner.get();
    {
        ReadAheadSource ahead(std::move(inner), 5);
        ASSERT_TRUE(ahead.start());
        Transcript t;
        for (int k = 0; k < 5; ++k) t.next(ahead);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(watched->highest_read, 4);  // a pipe is not read past the cut
        t.next(ahead);                        // the caller may still go on
        EXPECT_EQ(t.lines.back(), "next 1  frame 5 @1005");
    }
    // An owner that stops early, with the queue full or a read under way,
    // ends the reader at once.
    for (int read : {0, 1, 3}) {
        const auto begin = std::chrono::steady_clock::now();
        {
            ReadAheadSource ahead(std::make_unique<CountingSource>(true), INT_MAX);
            ASSERT_TRUE(ahead.start());
            Transcript t;
            for (int k = 0; k < read; ++k) t.next(ahead);
        }
        EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(1)) << read;
    }
}

TEST(ReadAhead, ACallerThatIsNoReaderLeavesTheSourceAlone) {
    // Nothing is read before the first frame is asked for: a seek first
    // finds the source where it was opened.
    auto inner = std::make_unique<CountingSource>(true);
    CountingSource* watched = inner.get();
    ReadAheadSource ahead(std::move(inner), INT_MAX);
    ASSERT_TRUE(ahead.start());
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(watched->highest_read, -1);
    EXPECT_EQ(ahead.time_of(3), FrameSource::kNoTime);
    EXPECT_EQ(ahead.width(), kW);
    EXPECT_EQ(ahead.frame_count(), 20);
}

}  // namespace
