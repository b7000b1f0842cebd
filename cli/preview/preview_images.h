// The pictures the preview page draws: 8-bit RGB through the editor's
// YCbCr to RGB formula, as JPEG while playing and PNG otherwise.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/aviutl.h"

// RGB rows (w * 3 bytes each) of a w x h picture with rows w pixels apart.
std::vector<std::uint8_t> preview_rgb(const PIXEL_YC* pixels, int w, int h);

// The picture as a file's bytes into *out; false with a message.
bool encode_jpeg(const std::vector<std::uint8_t>& rgb, int w, int h, int quality, std::string* out,
                 std::string* error);
bool encode_png(const std::vector<std::uint8_t>& rgb, int w, int h, std::string* out,
                std::string* error);
