// The preview's kept input frames (each decoded once, the same picture
// every time, read ahead while playing, the oldest given up past the
// budget) and the pictures it sends the page (averaged down to the size
// shown, never up).
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "preview/preview_frames.h"
#include "preview/preview_images.h"

namespace {

// Twenty 8x4 frames whose every pixel holds the frame number; counts how
// often it is asked to seek and to decode.
class CountingSource : public FrameSource {
public:
    CountingSource() {
        width_ = 8, height_ = 4;
        frame_count_ = 20;
    }
    bool seek(int n, std::string*) override {
        ++seeks;
        next_ = n;
        return true;
    }
    bool read_next(PIXEL_YC* pixels, int stride, std::int64_t* pts, std::string*) override {
        ++decodes;
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                pixels[y * stride + x] = {static_cast<std::int16_t>(next_), 0, 0};
        *pts = next_++;
        return true;
    }
    bool read_at(int, PIXEL_YC*, int, std::string*) override { return false; }

    std::atomic<int> seeks{0}, decodes{0};
};

constexpr std::size_t kFrameBytes = 8 * 4 * sizeof(PIXEL_YC);

bool eventually(const std::function<bool()>& done) {
    for (int i = 0; i < 400 && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done();
}

TEST(PreviewFrames, EachFrameIsDecodedOnceAndIsTheSamePictureAfter) {
    CountingSource source;
    PreviewFrames frames(source, 10 * kFrameBytes);
    std::string error;
    const auto first = frames.picture(5, &error);
    ASSERT_NE(first, nullptr) << error;
    EXPECT_EQ(first->number, 5);
    EXPECT_EQ(first->pixels[0].y, 5);
    EXPECT_EQ(frames.picture(5, &error), first);
    EXPECT_EQ(source.decodes, 1);
    // The next frame follows on without a seek; going back seeks.
    frames.picture(6, &error);
    EXPECT_EQ(source.seeks, 1);
    EXPECT_EQ(frames.picture(5, &error), first);
    frames.picture(2, &error);
    EXPECT_EQ(source.seeks, 2);
    // Past the input: no picture, a message, and nothing asked of the source.
    EXPECT_EQ(frames.picture(20, &error), nullptr);
    EXPECT_NE(error.find("outside the input"), std::string::npos);
    EXPECT_EQ(source.decodes, 3);
}

TEST(PreviewFrames, TheLeastRecentlyUsedGoPastTheBudget) {
    CountingSource source;
    PreviewFrames frames(source, 4 * kFrameBytes);
    ASSERT_EQ(frames.capacity(), 4u);
    std::string error;
    for (int n : {0, 1, 2, 3}) frames.picture(n, &error);
    frames.picture(0, &error);  // used again: now the most recent
    frames.picture(4, &error);  // pushes out frame 1
    EXPECT_TRUE(frames.is_kept(0));
    EXPECT_FALSE(frames.is_kept(1));
    EXPECT_TRUE(frames.is_kept(4));
}

TEST(PreviewFrames, PlayingReadsAheadAndStops) {
    CountingSource source;
    PreviewFrames frames(source, 16 * kFrameBytes);
    ASSERT_EQ(frames.ahead(), 8);
    frames.read_ahead_from(10);
    EXPECT_TRUE(eventually([&] { return frames.is_kept(17); }));
    EXPECT_FALSE(frames.is_kept(18));
    // Reading ahead went on from frame to frame: one seek for all of them.
    EXPECT_EQ(source.seeks, 1);
    // Near the end it stops at the last frame, and stopping stops it.
    frames.read_ahead_from(16);
    EXPECT_TRUE(eventually([&] { return frames.is_kept(19); }));
    frames.read_ahead_from(-1);
    const int decoded = source.decodes;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(source.decodes, decoded);
}

TEST(PreviewFrames, ThePlugInHostReadsKeptPicturesAtItsStride) {
    CountingSource source;
    PreviewFrames frames(source, 10 * kFrameBytes);
    std::string error;
    std::vector<PIXEL_YC> buffer(12 * 6, PIXEL_YC{-1, -1, -1});
    std::int64_t pts = 0;
    ASSERT_TRUE(frames.seek(3, &error));
    ASSERT_TRUE(frames.read_next(buffer.data(), 12, &pts, &error)) << error;
    EXPECT_EQ(pts, 3);
    EXPECT_EQ(buffer[3 * 12 + 7].y, 3);   // inside the picture
    EXPECT_EQ(buffer[3 * 12 + 8].y, -1);  // beside it, untouched
    // The next read is frame 4; copyframe's frame 3 is the kept one.
    ASSERT_TRUE(frames.read_next(buffer.data(), 12, &pts, &error));
    EXPECT_EQ(buffer[0].y, 4);
    ASSERT_TRUE(frames.read_at(3, buffer.data(), 12, &error));
    EXPECT_EQ(buffer[0].y, 3);
    EXPECT_EQ(source.decodes, 2);
}

TEST(PreviewImages, ShrinkingAveragesEachOutputPixelsArea) {
    // 4x2 -> 2x1: each output pixel is the mean of a 2x2 block.
    const std::vector<PIXEL_YC> in = {{0, -1, 5},  {4, -2, 5},  {100, 7, 0}, {101, 7, 0},
                                      {2, -1, 5},  {6, -2, 5},  {102, 7, 0}, {103, 8, 0}};
    const std::vector<PIXEL_YC> out = shrink_picture(in.data(), 4, 2, 2, 1);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].y, 3);    // (0 + 4 + 2 + 6) / 4
    EXPECT_EQ(out[0].cb, -2);  // -1.5, half away from zero
    EXPECT_EQ(out[1].y, 102);  // 101.5 rounds up
    EXPECT_EQ(out[1].cb, 7);   // 7.25
    // An uneven ratio still covers every input pixel once: a flat picture
    // stays flat.
    const std::vector<PIXEL_YC> flat(1920 * 1080, PIXEL_YC{1234, -56, 78});
    for (const PIXEL_YC& p : shrink_picture(flat.data(), 1920, 1080, 701, 395)) {
        ASSERT_EQ(p.y, 1234);
        ASSERT_EQ(p.cb, -56);
        ASSERT_EQ(p.cr, 78);
    }
}

TEST(PreviewImages, JpegComesAtTheSizeShownPngAtItsOwn) {
    int w = 0, h = 0;
    fitted_size(1920, 1080, 960, 2000, &w, &h);
    EXPECT_EQ(w, 960);
    EXPECT_EQ(h, 540);
    fitted_size(320, 180, 1000, 1000, &w, &h);  // never up
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 180);
    fitted_size(4000, 2, 100, 100, &w, &h);  // at least a pixel
    EXPECT_EQ(w, 100);
    EXPECT_EQ(h, 1);

    const Picture picture(64, 48, std::vector<PIXEL_YC>(64 * 48, PIXEL_YC{2048, 0, 0}));
    std::string error;
    const auto jpeg = picture.encoded(ImageFormat::jpeg, 16, 16, &error);
    ASSERT_NE(jpeg, nullptr) << error;
    tjhandle handle = tjInitDecompress();
    int jw = 0, jh = 0, sampling = 0, colours = 0;
    ASSERT_EQ(tjDecompressHeader3(handle, reinterpret_cast<const unsigned char*>(jpeg->data()),
                                  static_cast<unsigned long>(jpeg->size()), &jw, &jh, &sampling,
                                  &colours),
              0);
    tjDestroy(handle);
    EXPECT_EQ(jw, 16);
    EXPECT_EQ(jh, 12);
    // Asked again, the same file; PNG ignores the size asked for.
    EXPECT_EQ(picture.encoded(ImageFormat::jpeg, 16, 16, &error), jpeg);
    const auto png = picture.encoded(ImageFormat::png, 16, 16, &error);
    ASSERT_NE(png, nullptr) << error;
    // The width in the PNG header (big-endian at byte 16).
    EXPECT_EQ(static_cast<unsigned char>((*png)[19]), 64);
}

}  // namespace
