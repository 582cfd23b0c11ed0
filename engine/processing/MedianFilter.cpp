#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <vector>

#include "engine/Filters.h"
#include "engine/processing/FilterKernels.h"

namespace {

using engine::filters::Plane;
using engine::filters::SourceRows;

// OpenCV's median keeps to the same window and edge rule for odd sizes: 8-bit images with one,
// three or four channels at any size, 16-bit ones only up to 5 × 5.
template <class T>
bool OpenCvTakes(const Plane<T>& plane, int dimension) {
    if (dimension % 2 == 0) return false;
    if constexpr (sizeof(T) == 1) {
        return true;
    } else {
        return plane.channels == 1 && dimension <= 5;
    }
}

template <class T>
void OpenCvMedian(const Plane<T>& plane, int dimension) {
    const int type = CV_MAKETYPE(sizeof(T) == 1 ? CV_8U : CV_16U, plane.channels);
    cv::Mat image(plane.height, plane.width, type, plane.data, plane.stride * sizeof(T));
    if (plane.channels == plane.filtered) {
        cv::medianBlur(image, image, dimension);
    } else {
        cv::Mat result;
        cv::medianBlur(image, result, dimension);
        for (int y = 0; y < plane.height; ++y) {
            engine::filters::StoreFiltered(plane, y, result.ptr<T>(y));
        }
    }
    // The median of samples read as at most max is the median clamped to max (12-bit words
    // above 4095).
    if (plane.max < std::numeric_limits<T>::max()) {
        const T max = static_cast<T>(plane.max);
        for (int y = 0; y < plane.height; ++y) {
            T* row = plane.Row(y);
            for (std::ptrdiff_t i = 0; i < plane.RowSamples(); ++i) row[i] = std::min(row[i], max);
        }
    }
}

// Median of every window by a histogram that slides along the row: per step one column of the
// window leaves and one enters (2 × dimension updates, whatever the window's area), and the
// median is walked from its previous value. A bit per level marks the levels present, so the
// walk crosses empty levels 64 at a time even on 16-bit data.

// The histogram updates of one step, kept apart so that the loop's few values stay in
// registers; returns the change in the number of samples below the median.
template <class T>
[[gnu::noinline]] int SlideRows(std::uint16_t* counts, std::uint64_t* present, const T* const* rows,
                                std::ptrdiff_t leaving, std::ptrdiff_t distance, int n,
                                unsigned median) {
    int change = 0;
    for (const T* const* row = rows; row != rows + n; ++row) {
        const T* sample = *row + leaving;
        const unsigned out = sample[0], in = sample[distance];
        const std::uint64_t emptied = --counts[out] == 0;
        present[out >> 6] &= ~(emptied << (out & 63));
        ++counts[in];
        present[in >> 6] |= std::uint64_t{1} << (in & 63);
        change += static_cast<int>(in < median) - static_cast<int>(out < median);
    }
    return change;
}

// The histogram of one window, the levels present and the median.
class SlidingHistogram {
public:
    SlidingHistogram(unsigned levels, unsigned rank)
        : counts_(levels), present_((levels + 63) / 64), rank_(rank) {}

    // Starts a row with the window's samples; the histogram must be empty.
    template <class Samples>
    void Fill(Samples&& samples) {
        median_ = 0, below_ = 0;
        samples([this](unsigned v) {
            ++counts_[v];
            present_[v >> 6] |= std::uint64_t{1} << (v & 63);
        });
    }

    // One step: in each of the rows the sample at `leaving` leaves and the one `distance`
    // further enters.
    template <class T>
    void Slide(const T* const* rows, std::ptrdiff_t leaving, std::ptrdiff_t distance, int n) {
        below_ += SlideRows(counts_.data(), present_.data(), rows, leaving, distance, n, median_);
    }

    // Empties the histogram at the end of a row.
    template <class Samples>
    void Clear(Samples&& samples) {
        samples([this](unsigned v) {
            if (--counts_[v] == 0) present_[v >> 6] &= ~(std::uint64_t{1} << (v & 63));
        });
    }

    // The level with at most rank_ samples below it and more than rank_ below or at it.
    unsigned Median() {
        while (below_ > rank_) {
            median_ = PresentBelow(median_);
            below_ -= counts_[median_];
        }
        while (below_ + counts_[median_] <= rank_) {
            below_ += counts_[median_];
            median_ = PresentAbove(median_);
        }
        return median_;
    }

private:
    // The highest level present below v, and the lowest above it; the walk only asks for levels
    // that exist (samples lie on that side of the median).
    unsigned PresentBelow(unsigned v) const {
        std::size_t word = v >> 6;
        std::uint64_t bits = present_[word] & ((std::uint64_t{1} << (v & 63)) - 1);
        while (bits == 0) bits = present_[--word];
        return static_cast<unsigned>(word * 64 + 63 - std::countl_zero(bits));
    }
    unsigned PresentAbove(unsigned v) const {
        std::size_t word = v >> 6;
        const unsigned shift = v & 63;
        std::uint64_t bits = shift == 63 ? 0 : present_[word] & (~std::uint64_t{0} << (shift + 1));
        while (bits == 0) bits = present_[++word];
        return static_cast<unsigned>(word * 64 + std::countr_zero(bits));
    }

    std::vector<std::uint16_t> counts_;  // at most 255 × 255 samples per window
    std::vector<std::uint64_t> present_;
    unsigned rank_;
    unsigned median_ = 0;
    unsigned below_ = 0;  // samples below median_
};

template <class T>
void HistogramMedian(const Plane<T>& plane, int dimension) {
    const int before = dimension / 2, after = dimension - 1 - before;
    const int width = plane.width, channels = plane.channels;
    SlidingHistogram histogram(plane.max + 1, static_cast<unsigned>(dimension * dimension - 1) / 2);
    std::vector<const T*> rows(dimension);
    engine::filters::FilterRows(plane, before, [&](const SourceRows<T>& source, int y, T* out) {
        for (int c = 0; c < plane.filtered; ++c) {
            // Rows of the window at the channel's sample of pixel 0.
            for (int i = 0; i < dimension; ++i) rows[i] = source.Row(y - before + i) + c;
            const auto columns = [&](int first, int last) {
                return [&, first, last](auto&& visit) {
                    for (int x = first; x <= last; ++x) {
                        for (const T* row : rows)
                            visit(row[static_cast<std::ptrdiff_t>(x) * channels]);
                    }
                };
            };
            histogram.Fill(columns(-before, after));
            for (int x = 0;; ++x) {
                out[static_cast<std::ptrdiff_t>(x) * channels + c] =
                    static_cast<T>(histogram.Median());
                if (x + 1 == width) break;
                histogram.Slide(rows.data(), static_cast<std::ptrdiff_t>(x - before) * channels,
                                static_cast<std::ptrdiff_t>(dimension) * channels, dimension);
            }
            histogram.Clear(columns(width - 1 - before, width - 1 + after));
        }
    });
}

template <class T>
void FastMedian(const Plane<T>& plane, int dimension) {
    if (OpenCvTakes(plane, dimension)) {
        OpenCvMedian(plane, dimension);
    } else {
        HistogramMedian(plane, dimension);
    }
}

template <class T>
void PlainMedian(const Plane<T>& plane, int dimension) {
    const int before = dimension / 2, after = dimension - 1 - before;
    std::vector<unsigned> window;
    engine::filters::ReferencePerPixel(plane, [&](const auto& at, int, int) {
        window.clear();
        for (int dy = -before; dy <= after; ++dy) {
            for (int dx = -before; dx <= after; ++dx) window.push_back(at(dx, dy));
        }
        const auto middle = window.begin() + static_cast<std::ptrdiff_t>(window.size() - 1) / 2;
        std::nth_element(window.begin(), middle, window.end());
        return *middle;
    });
}

int MedianFilter(BITMAPHANDLE* bitmap, int dimension, bool reference) {
    engine::PixelView view;
    if (const int status = engine::AccessPixels(bitmap, &view); status != SUCCESS) return status;
    if (dimension < 1 || dimension > MEDIAN_MAX_DIMENSION) return ERROR_INV_PARAMETER;
    if (dimension == 1) return SUCCESS;
    return engine::filters::WithSamplePlane(bitmap, view, [&](const auto& plane) {
        if (reference) {
            PlainMedian(plane, dimension);
        } else {
            FastMedian(plane, dimension);
        }
        return SUCCESS;
    });
}

}  // namespace

int L_MedianFilterBitmap(BITMAPHANDLE* bitmap, int dimension) {
    return MedianFilter(bitmap, dimension, false);
}

int engine::MedianFilterReference(BITMAPHANDLE* bitmap, int dimension) {
    return MedianFilter(bitmap, dimension, true);
}
