// The pictures the preview page draws: the editor's pixels kept as they
// are, and the files made of them for the page, 8-bit RGB through the
// editor's YCbCr to RGB formula: JPEG at the size the page shows (fast, for
// every change) and PNG at the picture's own size (exact, on request).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/aviutl.h"

enum class ImageFormat { jpeg, png };

// A picture of the editor's pixels, fixed once made.
class Picture {
public:
    Picture(int w, int h, std::vector<PIXEL_YC> pixels) : w(w), h(h), pixels(std::move(pixels)) {}

    const int w, h;
    const std::vector<PIXEL_YC> pixels;  // w x h
    int number = -1;                      // the input frame it is, for an input picture
    std::int64_t pts = 0;
    std::uint64_t serial = 0;  // tells pictures apart: a new one, a new number

    // The picture as a file for the page: PNG at its own size, or JPEG
    // scaled down (never up) to fit within fit_w x fit_h.  Made on the
    // first request and kept, the last few kinds asked for.  Null with a
    // message when it cannot be made.
    std::shared_ptr<const std::string> encoded(ImageFormat format, int fit_w, int fit_h,
                                               std::string* error) const;

private:
    struct Encoded {
        ImageFormat format;
        int w, h;
        std::shared_ptr<const std::string> bytes;
    };
    mutable std::mutex mutex_;
    mutable std::deque<Encoded> encoded_;  // most recent first
};

// The size of a w x h picture scaled down to fit within fit_w x fit_h (its
// own size when it fits, at least 1 x 1).
void fitted_size(int w, int h, int fit_w, int fit_h, int* out_w, int* out_h);

// The picture averaged down to out_w x out_h (each output pixel the mean of
// the input pixels whose centres fall in it); out_w <= w, out_h <= h.
std::vector<PIXEL_YC> shrink_picture(const PIXEL_YC* pixels, int w, int h, int out_w, int out_h);

// RGB rows (w * 3 bytes each) of a w x h picture with rows w pixels apart.
std::vector<std::uint8_t> preview_rgb(const PIXEL_YC* pixels, int w, int h);

// The picture as a file's bytes into *out; false with a message.
bool encode_jpeg(const std::vector<std::uint8_t>& rgb, int w, int h, int quality, std::string* out,
                 std::string* error);
bool encode_png(const std::vector<std::uint8_t>& rgb, int w, int h, std::string* out,
                std::string* error);
