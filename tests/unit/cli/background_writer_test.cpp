// The host program's writer thread: frames reach the sink whole, in order,
// as they were when handed over, and a failed write is not lost.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "run/background_writer.h"

namespace {

// Records every frame; fails from frame `fail_at` on; slow, so that the
// caller has moved on while a frame is being written.
class RecordingSink : public FrameSink {
public:
    explicit RecordingSink(int fail_at = -1) : fail_at_(fail_at) {}
    bool write(const PIXEL_YC* pixels, int stride, int w, int h, std::int64_t pts, std::int64_t,
               std::string* error) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (frames_ == fail_at_) {
            *error = "disk full at " + std::to_string(pts);
            return false;
        }
        std::vector<PIXEL_YC> picture;
        for (int y = 0; y < h; ++y)
            picture.insert(picture.end(), pixels + y * stride, pixels + y * stride + w);
        pictures.push_back(picture);
        stamps.push_back(pts);
        ++frames_;
        return true;
    }
    bool finish(std::int64_t, std::string*) override { return true; }
    std::vector<std::vector<PIXEL_YC>> pictures;
    std::vector<std::int64_t> stamps;

private:
    int fail_at_;
};

// A 3 x 2 picture in a buffer 5 pixels wide, numbered from `base`.
std::vector<PIXEL_YC> buffer_of(int base) {
    std::vector<PIXEL_YC> b(10);
    for (int i = 0; i < 10; ++i) b[i] = {static_cast<std::int16_t>(base + i), 1, 2};
    return b;
}

TEST(BackgroundWriter, FramesArriveInOrderAsTheyWereHandedOver) {
    RecordingSink sink;
    {
        BackgroundWriter writer(&sink);
        std::vector<PIXEL_YC> buffer;
        std::string error;
        for (int k = 0; k < 5; ++k) {
            buffer = buffer_of(100 * k);
            ASSERT_TRUE(writer.write(buffer.data(), 5, 3, 2, 40 + k, 1, &error)) << error;
            buffer = buffer_of(-1);  // the editor's buffer changes at once
        }
    }  // the last frame is written before the writer goes
    ASSERT_EQ(sink.frames(), 5);
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(sink.stamps[k], 40 + k);
        ASSERT_EQ(sink.pictures[k].size(), 6u);
        const int want[6] = {0, 1, 2, 5, 6, 7};
        for (int i = 0; i < 6; ++i) EXPECT_EQ(sink.pictures[k][i].y, 100 * k + want[i]);
    }
}

TEST(BackgroundWriter, AFailureShowsAtTheNextWriteOrTheDrain) {
    RecordingSink sink(2);
    BackgroundWriter writer(&sink);
    const std::vector<PIXEL_YC> buffer = buffer_of(0);
    std::string error;
    EXPECT_TRUE(writer.write(buffer.data(), 5, 3, 2, 0, 1, &error));
    EXPECT_TRUE(writer.write(buffer.data(), 5, 3, 2, 1, 1, &error));
    EXPECT_TRUE(writer.write(buffer.data(), 5, 3, 2, 2, 1, &error));  // fails in the background
    EXPECT_FALSE(writer.write(buffer.data(), 5, 3, 2, 3, 1, &error));
    EXPECT_EQ(error, "disk full at 2");
    error.clear();
    EXPECT_FALSE(writer.drain(&error));
    EXPECT_EQ(error, "disk full at 2");
    EXPECT_EQ(sink.frames(), 2);

    RecordingSink last(1);
    BackgroundWriter second(&last);
    EXPECT_TRUE(second.write(buffer.data(), 5, 3, 2, 0, 1, &error));
    EXPECT_TRUE(second.write(buffer.data(), 5, 3, 2, 7, 1, &error));
    error.clear();
    EXPECT_FALSE(second.drain(&error));
    EXPECT_EQ(error, "disk full at 7");
}

}  // namespace
