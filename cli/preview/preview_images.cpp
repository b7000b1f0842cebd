#include "preview/preview_images.h"

#include <turbojpeg.h>

#include "media/frame_sink.h"
#include "media/pixel_convert.h"

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
