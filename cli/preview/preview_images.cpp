#include "preview/preview_images.h"

#include <turbojpeg.h>

#include <algorithm>

#include "media/frame_sink.h"
#include "media/pixel_convert.h"

namespace {

constexpr int kJpegQuality = 88;
constexpr std::size_t kEncodedKept = 4;  // files kept per picture

}  // namespace

std::shared_ptr<const std::string> Picture::encoded(ImageFormat format, int fit_w, int fit_h,
                                                    std::string* error) const {
    int out_w = w, out_h = h;
    if (format == ImageFormat::jpeg) fitted_size(w, h, fit_w, fit_h, &out_w, &out_h);
    const std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = encoded_.begin(); it != encoded_.end(); ++it)
        if (it->format == format && it->w == out_w && it->h == out_h) {
            const Encoded found = *it;
            encoded_.erase(it);
            encoded_.push_front(found);
            return found.bytes;
        }
    std::vector<std::uint8_t> rgb;
    if (out_w == w && out_h == h) {
        rgb = preview_rgb(pixels.data(), w, h);
    } else {
        const std::vector<PIXEL_YC> small = shrink_picture(pixels.data(), w, h, out_w, out_h);
        rgb = preview_rgb(small.data(), out_w, out_h);
    }
    auto bytes = std::make_shared<std::string>();
    const bool ok = format == ImageFormat::jpeg
                        ? encode_jpeg(rgb, out_w, out_h, kJpegQuality, bytes.get(), error)
                        : encode_png(rgb, out_w, out_h, bytes.get(), error);
    if (!ok) return nullptr;
    encoded_.push_front({format, out_w, out_h, bytes});
    if (encoded_.size() > kEncodedKept) encoded_.pop_back();
    return bytes;
}

void fitted_size(int w, int h, int fit_w, int fit_h, int* out_w, int* out_h) {
    *out_w = w, *out_h = h;
    if (w <= 0 || h <= 0 || (fit_w >= w && fit_h >= h)) return;
    const double scale = std::min(static_cast<double>(std::max(fit_w, 1)) / w,
                                  static_cast<double>(std::max(fit_h, 1)) / h);
    *out_w = std::clamp(static_cast<int>(w * scale + 0.5), 1, w);
    *out_h = std::clamp(static_cast<int>(h * scale + 0.5), 1, h);
}

std::vector<PIXEL_YC> shrink_picture(const PIXEL_YC* pixels, int w, int h, int out_w, int out_h) {
    std::vector<PIXEL_YC> out(static_cast<std::size_t>(out_w) * out_h);
    // Output column i averages the input columns [x0[i], x0[i + 1]).
    std::vector<int> x0(static_cast<std::size_t>(out_w) + 1);
    for (int i = 0; i <= out_w; ++i)
        x0[static_cast<std::size_t>(i)] = static_cast<int>(static_cast<long long>(i) * w / out_w);
    // Sums of a block of rows, per output column and component.
    std::vector<std::int64_t> sums(static_cast<std::size_t>(out_w) * 3);
    for (int j = 0; j < out_h; ++j) {
        const int y0 = static_cast<int>(static_cast<long long>(j) * h / out_h);
        const int y1 = static_cast<int>(static_cast<long long>(j + 1) * h / out_h);
        std::fill(sums.begin(), sums.end(), 0);
        for (int y = y0; y < y1; ++y) {
            const PIXEL_YC* row = pixels + static_cast<std::size_t>(y) * w;
            std::int64_t* s = sums.data();
            for (int i = 0; i < out_w; ++i, s += 3) {
                // One row's span of a column fits an int: at most 65535
                // values of at most 32768 each.
                int sy = 0, scb = 0, scr = 0;
                const int end = x0[static_cast<std::size_t>(i) + 1];
                for (int x = x0[static_cast<std::size_t>(i)]; x < end; ++x)
                    sy += row[x].y, scb += row[x].cb, scr += row[x].cr;
                s[0] += sy, s[1] += scb, s[2] += scr;
            }
        }
        PIXEL_YC* dst = out.data() + static_cast<std::size_t>(j) * out_w;
        for (int i = 0; i < out_w; ++i) {
            const std::int64_t n = static_cast<std::int64_t>(y1 - y0) *
                                   (x0[static_cast<std::size_t>(i) + 1] - x0[static_cast<std::size_t>(i)]);
            const std::int64_t* s = &sums[static_cast<std::size_t>(i) * 3];
            // Rounded to the nearest, halves away from zero.
            const auto mean = [n](std::int64_t v) {
                return static_cast<std::int16_t>(v >= 0 ? (v + n / 2) / n : -((-v + n / 2) / n));
            };
            dst[i] = {mean(s[0]), mean(s[1]), mean(s[2])};
        }
    }
    return out;
}

std::vector<std::uint8_t> preview_rgb(const PIXEL_YC* pixels, int w, int h) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(w) * h * 3);
    if (w > 0 && h > 0)
        yc_to_rgb24(pixels, w, w, h, rgb.data(), static_cast<std::ptrdiff_t>(w) * 3);
    return rgb;
}

bool encode_jpeg(const std::vector<std::uint8_t>& rgb, int w, int h, int quality, std::string* out,
                 std::string* error) {
    if (w <= 0 || h <= 0) {
        *error = "the picture is empty";
        return false;
    }
    tjhandle handle = tjInitCompress();
    if (handle == nullptr) {
        *error = "cannot start the JPEG encoder";
        return false;
    }
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const bool ok = tjCompress2(handle, rgb.data(), w, w * 3, h, TJPF_RGB, &jpeg, &size, TJSAMP_420,
                                quality, TJFLAG_FASTDCT) == 0;
    if (ok)
        out->assign(reinterpret_cast<const char*>(jpeg), size);
    else
        *error = std::string("JPEG: ") + tjGetErrorStr2(handle);
    tjFree(jpeg);
    tjDestroy(handle);
    return ok;
}

bool encode_png(const std::vector<std::uint8_t>& rgb, int w, int h, std::string* out,
                std::string* error) {
    if (w <= 0 || h <= 0) {
        *error = "the picture is empty";
        return false;
    }
    PngEncoder encoder;
    return encoder.encode(out, rgb.data(), w, h, error);
}
