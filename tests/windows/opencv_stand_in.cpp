// A stand-in for OpenCV 1.1's two libraries, for testing the plug-in's
// bridge under Wine: built as cxcore110.dll (cvCreateImage, cvReleaseImage,
// cvFlip) and as cv110.dll (cvCanny), with OpenCV's names, calling
// convention and image header.  cvFlip does what OpenCV's does for flip
// mode 0 (rows reversed in place); cvCanny marks a pixel 255 where it
// differs from its right or lower neighbour by more than threshold 1, and
// 0 elsewhere, which is enough to tell edges from flat areas.
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct IplImage {
    int nSize, ID, nChannels, alphaChannel, depth;
    char colorModel[4], channelSeq[4];
    int dataOrder, origin, align, width, height;
    void *roi, *maskROI, *imageId, *tileInfo;
    int imageSize;
    char* imageData;
    int widthStep;
    int BorderMode[4], BorderConst[4];
    char* imageDataOrigin;
};
static_assert(sizeof(IplImage) == 112, "OpenCV 1.1's 32-bit image header");

struct CvSize {
    int width, height;
};

[[maybe_unused]] int element_bytes(int depth) { return (depth & 0xFF) / 8; }

}  // namespace

extern "C" {

#ifdef STAND_IN_CXCORE
__declspec(dllexport) IplImage* __cdecl cvCreateImage(CvSize size, int depth, int channels) {
    auto* image = static_cast<IplImage*>(std::calloc(1, sizeof(IplImage)));
    if (image == nullptr) return nullptr;
    image->nSize = sizeof(IplImage);
    image->nChannels = channels;
    image->depth = depth;
    image->width = size.width;
    image->height = size.height;
    // Rows padded to 4 bytes, as OpenCV's are, so the bridge must use the stride.
    image->widthStep = (size.width * channels * element_bytes(depth) + 3) & ~3;
    image->imageSize = image->widthStep * size.height;
    image->imageData = static_cast<char*>(std::malloc(static_cast<std::size_t>(image->imageSize)));
    image->imageDataOrigin = image->imageData;
    // Not cleared: what OpenCV leaves there is unspecified as well.
    if (image->imageData)
        std::memset(image->imageData, 0x5A, static_cast<std::size_t>(image->imageSize));
    return image;
}

__declspec(dllexport) void __cdecl cvReleaseImage(IplImage** image) {
    if (image == nullptr || *image == nullptr) return;
    std::free((*image)->imageDataOrigin);
    std::free(*image);
    *image = nullptr;
}

__declspec(dllexport) void __cdecl cvFlip(const void* src, void* dst, int flip_mode) {
    const auto* in = static_cast<const IplImage*>(src);
    if (dst != nullptr || flip_mode != 0) std::abort();  // the bridge flips rows in place only
    std::vector<char> row(static_cast<std::size_t>(in->widthStep));
    for (int top = 0, bottom = in->height - 1; top < bottom; ++top, --bottom) {
        char* a = in->imageData + static_cast<std::ptrdiff_t>(top) * in->widthStep;
        char* b = in->imageData + static_cast<std::ptrdiff_t>(bottom) * in->widthStep;
        std::memcpy(row.data(), a, row.size());
        std::memcpy(a, b, row.size());
        std::memcpy(b, row.data(), row.size());
    }
}
#endif

#ifdef STAND_IN_CV
__declspec(dllexport) void __cdecl cvCanny(const void* image, void* edges, double threshold1,
                                           double, int) {
    const auto* in = static_cast<const IplImage*>(image);
    auto* out = static_cast<IplImage*>(edges);
    for (int y = 0; y < in->height; ++y)
        for (int x = 0; x < in->width; ++x) {
            const auto at = [&](int xx, int yy) {
                return static_cast<unsigned char>(
                    in->imageData[static_cast<std::ptrdiff_t>(yy) * in->widthStep + xx]);
            };
            const int v = at(x, y);
            const int right = x + 1 < in->width ? at(x + 1, y) : v;
            const int below = y + 1 < in->height ? at(x, y + 1) : v;
            const bool edge = std::abs(v - right) > threshold1 || std::abs(v - below) > threshold1;
            out->imageData[static_cast<std::ptrdiff_t>(y) * out->widthStep + x] =
                edge ? char(255) : 0;
        }
}
#endif
}
