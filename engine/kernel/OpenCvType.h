// The OpenCV element type that holds a pixel format's memory as it is, for kernels that wrap a
// bitmap's rows in a cv::Mat without copying.
#pragma once

#include <opencv2/core.hpp>

#include "engine/PixelView.h"

namespace engine {

// -1 for formats OpenCV cannot hold directly (packed indices, 5-5-5 colour).
inline int OpenCvType(PixelFormat format) {
    switch (format) {
        case PixelFormat::Index8: return CV_8UC1;
        case PixelFormat::Gray12:
        case PixelFormat::Gray16: return CV_16UC1;
        case PixelFormat::Rgb24:
        case PixelFormat::Bgr24: return CV_8UC3;
        case PixelFormat::Rgb32:
        case PixelFormat::Bgr32: return CV_8UC4;
        default: return -1;
    }
}

}  // namespace engine
