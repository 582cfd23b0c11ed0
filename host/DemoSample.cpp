#include "host/DemoSample.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace host {

namespace {

constexpr int kWidth = 1500;  // 30 × 20 mm at a 20 µm pixel pitch
constexpr int kHeight = 1000;
constexpr int kMaxLevel = 4095;

// Defects of the synthetic sensor, in image coordinates.
struct BadPixel {
    int x, y;
};
constexpr BadPixel kBadPixels[] = {{101, 77},   {412, 233},  {733, 501},
                                   {1150, 640}, {1377, 911}, {58, 950}};
constexpr int kBadColumn = 1203;  // stuck at full scale
constexpr int kBadRow = 617;      // dead

// Small, fast and reproducible: the same noise on every machine.
class Random {
public:
    double Uniform() {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(state_ >> 11) / 9007199254740992.0;
    }
    // Approximately normal: the sum of four uniforms, scaled to unit variance.
    double Gaussian() {
        return (Uniform() + Uniform() + Uniform() + Uniform() - 2.0) * std::sqrt(3.0);
    }

private:
    std::uint64_t state_ = 0x2545F4914F6CDD1Dull;
};

double Sq(double v) { return v * v; }

// X-ray attenuation of the phantom at (x, y): soft tissue with two teeth, each an enamel cap
// over dentine with a pulp chamber and canal; a filling in the first crown.
double Attenuation(double x, double y) {
    double a = 0.35 + 0.1 * std::sin(x / 230.0) * std::cos(y / 170.0);  // soft tissue
    for (double cx : {520.0, 1010.0}) {
        const double crown = Sq((x - cx) / 200.0) + Sq((y - 330.0) / 210.0);
        const double t = std::clamp((y - 420.0) / 480.0, 0.0, 1.0);
        const double rootHalfWidth = 160.0 - 115.0 * t;
        const bool inRoot = y >= 400.0 && y <= 900.0 && std::abs(x - cx) <= rootHalfWidth;
        if (crown <= 1.0 || inRoot) {
            a += 1.1;                                                  // dentine
            if (crown <= 1.0 && crown >= 0.72 && y < 400.0) a += 0.8;  // enamel cap
            const double pulp = Sq((x - cx) / 55.0) + Sq((y - 440.0) / 120.0);
            const bool canal = y > 440.0 && y < 860.0 && std::abs(x - cx) < 9.0 - 5.0 * t;
            if (pulp <= 1.0 || canal) a -= 0.7;  // pulp
            if (cx < 700.0 && Sq((x - cx + 60.0) / 75.0) + Sq((y - 255.0) / 48.0) <= 1.0)
                a += 3.5;  // amalgam filling
        }
    }
    return a;
}

// The frame's pixel p holds image pixel p + 1 in memory order of the bitmap before it is
// flipped: memory row r is image row height - 1 - r.
std::vector<std::uint16_t> ToFrameOrder(const std::vector<std::uint16_t>& image) {
    const std::size_t count = image.size();
    std::vector<std::uint16_t> frame(count, 0);
    for (std::size_t q = 1; q < count; ++q) {
        const std::size_t memoryRow = q / kWidth, x = q % kWidth;
        const std::size_t y = kHeight - 1 - memoryRow;
        frame[q - 1] = image[y * kWidth + x];
    }
    return frame;
}

void WritePacked(const std::string& path, const std::vector<std::uint16_t>& pixels) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(pixels.size() / 2 * 3);
    for (std::size_t i = 0; i + 1 < pixels.size(); i += 2) {
        const std::uint16_t a = pixels[i], b = pixels[i + 1];
        bytes.push_back(static_cast<std::uint8_t>(a & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(((a >> 8) << 4) | (b >> 8)));
        bytes.push_back(static_cast<std::uint8_t>(b & 0xFF));
    }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace

DemoSample WriteDemoSample(const std::string& folder) {
    Random random;
    std::vector<std::uint16_t> image(static_cast<std::size_t>(kWidth) * kHeight);
    std::vector<std::uint16_t> dark(image.size());
    std::vector<double> columnOffset(kWidth);
    for (double& offset : columnOffset) offset = 8.0 * random.Gaussian();  // fixed-pattern noise

    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const double darkLevel =
                180.0 + columnOffset[static_cast<std::size_t>(x)] + 4.0 * random.Gaussian();
            const double signal = 3600.0 * std::exp(-Attenuation(x, y));
            const double exposed =
                darkLevel + signal + std::sqrt(std::max(signal, 1.0)) * 0.9 * random.Gaussian();
            const std::size_t i = static_cast<std::size_t>(y) * kWidth + x;
            dark[i] =
                static_cast<std::uint16_t>(std::clamp(std::lround(darkLevel), 0L, long{kMaxLevel}));
            image[i] =
                static_cast<std::uint16_t>(std::clamp(std::lround(exposed), 0L, long{kMaxLevel}));
        }
    }
    for (const BadPixel& p : kBadPixels)
        image[static_cast<std::size_t>(p.y) * kWidth + p.x] = kMaxLevel;
    for (int y = 0; y < kHeight; ++y)
        image[static_cast<std::size_t>(y) * kWidth + kBadColumn] = kMaxLevel;
    for (int x = 0; x < kWidth; ++x) {
        const std::size_t i = static_cast<std::size_t>(kBadRow) * kWidth + x;
        image[i] = dark[i];
    }

    std::filesystem::create_directories(folder);
    DemoSample sample;
    sample.width = kWidth;
    sample.height = kHeight;
    sample.framePath = (std::filesystem::path(folder) / "sensor-frame.raw").string();
    sample.darkPath = (std::filesystem::path(folder) / "dark-frame.raw").string();
    sample.correctionPath = (std::filesystem::path(folder) / "sensor-defects.txt").string();
    WritePacked(sample.framePath, ToFrameOrder(image));
    WritePacked(sample.darkPath, ToFrameOrder(dark));

    std::ofstream list(sample.correctionPath, std::ios::binary);
    for (const BadPixel& p : kBadPixels) list << p.x << ' ' << p.y << " 0\r\n";
    list << kBadColumn << " 0 2\r\n";
    list << "0 " << kBadRow << " 3\r\n";
    if (!list) throw std::runtime_error("cannot write " + sample.correctionPath);
    return sample;
}

}  // namespace host
