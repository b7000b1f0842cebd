// The disc structuring element as OpenCV takes it: the points (i, j) with
// i*i + j*j <= r*r, the same disc the morphology functions use for a radius.
#pragma once

#include <opencv2/core.hpp>

#include <cstdint>

inline cv::Mat disc_kernel(int r) {
    cv::Mat k = cv::Mat::zeros(2 * r + 1, 2 * r + 1, CV_8U);
    for (int i = -r; i <= r; ++i)
        for (int j = -r; j <= r; ++j)
            if (i * i + j * j <= r * r) k.at<std::uint8_t>(i + r, j + r) = 1;
    return k;
}
