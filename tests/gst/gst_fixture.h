// Shared pieces of the element's tests: a script folder, pictures in the
// formats the element takes, the element in a GstHarness with a bus, and
// `quorvel run` over the same frames as a Y4M file.
#pragma once

#include <gst/check/gstharness.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

// A folder of its own under the system's temporary folder, removed at the
// end, holding filter.lua (and whatever else a test writes).
class ScriptFolder {
public:
    explicit ScriptFolder(const std::string& script);
    ~ScriptFolder();
    const std::string& path() const { return path_; }
    void write(const std::string& name, const std::string& text) const;

private:
    std::string path_;
};

// A planar picture: three planes of samples (8 or 10 bits in 16-bit words
// here, whatever the layout they travel in), tightly packed.
struct Picture {
    int w = 0, h = 0, bits = 8, sx = 1, sy = 1;
    std::vector<std::uint16_t> plane[3];
    int plane_w(int p) const { return p ? (w + (1 << sx) - 1) >> sx : w; }
    int plane_h(int p) const { return p ? (h + (1 << sy) - 1) >> sy : h; }
    bool operator==(const Picture& o) const;
};
// Frame k of a test clip: gradients, a moving block and noise, legal
// (limited-range) samples.
Picture test_picture(int w, int h, int bits, int sx, int sy, int k);

// A buffer in `info`'s planar layout holding `picture`, and back.
GstBuffer* buffer_from(const Picture& picture, const GstVideoInfo& info, int k);
Picture picture_from(GstBuffer* buffer, const GstVideoInfo& info);

// The element alone, or a launch line, in a harness whose messages go to
// `bus`.  Stops the harness on destruction.
struct Harness {
    GstHarness* h = nullptr;
    GstBus* bus = nullptr;
    explicit Harness(const std::string& launch, bool parse = false);
    ~Harness();
    GstElement* element() const;  // the quorvel element
    // The next message of `type` posted so far, or null (to unref).
    GstMessage* pop(GstMessageType type) const;
};

// Runs `quorvel run` over `frames` written as a Y4M file, with the script
// folder and extra options; the frames it wrote.
std::vector<Picture> run_quorvel(const std::vector<Picture>& frames, const std::string& folder,
                                 const std::string& options);

// Caps of a test clip.
std::string caps_of(const char* format, int w, int h, const char* extra = "");
