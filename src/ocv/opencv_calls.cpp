#include "ocv/opencv_calls.h"

#include <stdexcept>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace {

// OpenCV's message without its trailing line break.
std::runtime_error opencv_error(const cv::Exception& e) {
    std::string text = e.what();
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return std::runtime_error(text);
}

}  // namespace

void opencv_canny(const BridgeImage& input, const BridgeImage& edges, double threshold1,
                  double threshold2, int aperture) {
    try {
        const cv::Mat in(input.height, input.width, CV_8UC1, input.data, input.stride);
        cv::Mat out(edges.height, edges.width, CV_8UC1, edges.data, edges.stride);
        cv::Canny(in, out, threshold1, threshold2, aperture, false);
        // The output already has the size and type, so OpenCV writes into
        // it; should it ever allocate instead, copy the result over.
        if (out.data != edges.data) {
            cv::Mat target(edges.height, edges.width, CV_8UC1, edges.data, edges.stride);
            out.copyTo(target);
        }
    } catch (const cv::Exception& e) {
        throw opencv_error(e);
    }
}

void opencv_flip_rows(const BridgeImage& image) {
    try {
        cv::Mat m(image.height, image.width, CV_16SC3, image.data, image.stride);
        cv::flip(m, m, 0);
    } catch (const cv::Exception& e) {
        throw opencv_error(e);
    }
}
