// The OpenCV calls of the bridge on Windows: OpenCV 1.1's C interface from
// "cxcore110.dll" (cvCreateImage, cvReleaseImage, cvFlip) and "cv110.dll"
// (cvCanny), loaded on first use by file name, so that Windows finds them
// beside the plug-in (its folder is on PATH) or anywhere on PATH.  When a
// library or a function is missing the call fails with a message naming it,
// and the next call tries again.
//
// OpenCV works on images of its own (cvCreateImage); the bridge's images are
// copied in and out through the header's data pointer and row stride.
#include <windows.h>

#include <cstddef>
#include <cstring>
#include <stdexcept>
#include <string>

#include "ocv/opencv_calls.h"

namespace {

// OpenCV 1.x's image header, as its 32-bit libraries lay it out; only the
// fields read here are named.
struct IplImage {
    int nSize;
    int ID;
    int nChannels;
    int alphaChannel;
    int depth;
    char colorModel[4];
    char channelSeq[4];
    int dataOrder;
    int origin;
    int align;
    int width;
    int height;
    void* roi;
    void* maskROI;
    void* imageId;
    void* tileInfo;
    int imageSize;
    char* imageData;
    int widthStep;
    int BorderMode[4];
    int BorderConst[4];
    char* imageDataOrigin;
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(IplImage) == 112 && offsetof(IplImage, width) == 40 &&
              offsetof(IplImage, imageData) == 68 && offsetof(IplImage, widthStep) == 72);
#endif

struct CvSize {
    int width;
    int height;
};

constexpr int kDepth8U = 8;
constexpr int kDepth16S = static_cast<int>(0x80000010u);

using CreateImageFn = IplImage*(__cdecl*)(CvSize size, int depth, int channels);
using ReleaseImageFn = void(__cdecl*)(IplImage** image);
using FlipFn = void(__cdecl*)(const void* src, void* dst, int flip_mode);
using CannyFn = void(__cdecl*)(const void* image, void* edges, double threshold1, double threshold2,
                               int aperture_size);

struct OpenCv {
    CreateImageFn create_image = nullptr;
    ReleaseImageFn release_image = nullptr;
    FlipFn flip = nullptr;
    CannyFn canny = nullptr;
};

HMODULE load(const char* library) {
    HMODULE module = GetModuleHandleA(library);
    if (module == nullptr) module = LoadLibraryA(library);
    if (module == nullptr)
        throw std::runtime_error(std::string("OpenCV is not available: \"") + library +
                                 "\" was not found beside the plug-in or on PATH");
    return module;
}

template <class Fn>
Fn function(HMODULE module, const char* library, const char* name) {
    FARPROC address = GetProcAddress(module, name);
    if (address == nullptr)
        throw std::runtime_error(std::string("OpenCV is not usable: \"") + library + "\" has no " +
                                 name);
    Fn fn;
    static_assert(sizeof fn == sizeof address);
    std::memcpy(&fn, &address, sizeof fn);
    return fn;
}

// The functions, looked up once they are all there.
const OpenCv& opencv() {
    static OpenCv found;
    if (found.canny != nullptr) return found;
    HMODULE core = load("cxcore110.dll");
    OpenCv fns;
    fns.create_image = function<CreateImageFn>(core, "cxcore110.dll", "cvCreateImage");
    fns.release_image = function<ReleaseImageFn>(core, "cxcore110.dll", "cvReleaseImage");
    fns.flip = function<FlipFn>(core, "cxcore110.dll", "cvFlip");
    HMODULE cv = load("cv110.dll");
    fns.canny = function<CannyFn>(cv, "cv110.dll", "cvCanny");
    found = fns;
    return found;
}

// An OpenCV image, released when it goes.
class Image {
public:
    Image(const OpenCv& cv, int width, int height, int depth, int channels) : cv_(cv) {
        image_ = cv.create_image(CvSize{width, height}, depth, channels);
        if (image_ == nullptr || image_->imageData == nullptr || image_->width != width ||
            image_->height != height)
            throw std::runtime_error("OpenCV could not make an image of " + std::to_string(width) +
                                     "x" + std::to_string(height));
    }
    ~Image() {
        if (image_ != nullptr) cv_.release_image(&image_);
    }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    IplImage* get() const { return image_; }
    void copy_from(const BridgeImage& from, std::size_t row_bytes) const {
        for (int i = 0; i < from.height; ++i)
            std::memcpy(image_->imageData + static_cast<std::ptrdiff_t>(i) * image_->widthStep,
                        static_cast<const char*>(from.data) + i * from.stride, row_bytes);
    }
    void copy_to(const BridgeImage& to, std::size_t row_bytes) const {
        for (int i = 0; i < to.height; ++i)
            std::memcpy(static_cast<char*>(to.data) + i * to.stride,
                        image_->imageData + static_cast<std::ptrdiff_t>(i) * image_->widthStep,
                        row_bytes);
    }

private:
    const OpenCv& cv_;
    IplImage* image_ = nullptr;
};

}  // namespace

void opencv_canny(const BridgeImage& input, const BridgeImage& edges, double threshold1,
                  double threshold2, int aperture) {
    // OpenCV 1.1 meets a bad aperture with its own error handler, which
    // may end the process: refuse it here, as the newer library would.
    if (aperture != 3 && aperture != 5 && aperture != 7)
        throw std::runtime_error("cvCanny: the aperture size must be 3, 5 or 7, not " +
                                 std::to_string(aperture));
    const OpenCv& cv = opencv();
    const Image in(cv, input.width, input.height, kDepth8U, 1);
    const Image out(cv, edges.width, edges.height, kDepth8U, 1);
    in.copy_from(input, static_cast<std::size_t>(input.width));
    cv.canny(in.get(), out.get(), threshold1, threshold2, aperture);
    out.copy_to(edges, static_cast<std::size_t>(edges.width));
}

void opencv_flip_rows(const BridgeImage& image) {
    const OpenCv& cv = opencv();
    const Image picture(cv, image.width, image.height, kDepth16S, 3);
    const std::size_t row_bytes = static_cast<std::size_t>(image.width) * 6;
    picture.copy_from(image, row_bytes);
    cv.flip(picture.get(), nullptr, 0);
    picture.copy_to(image, row_bytes);
}
