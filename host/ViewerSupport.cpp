#include "host/ViewerSupport.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace host {

// ---- late binding -----------------------------------------------------------------------------

DISPID LateBound::Id(const std::string& name) {
    if (auto it = ids_.find(name); it != ids_.end()) return it->second;
    std::u16string wide(name.begin(), name.end());
    LPOLESTR names[] = {wide.data()};
    DISPID id = DISPID_UNKNOWN;
    hr_ = control_->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (SUCCEEDED(hr_)) ids_[name] = id;
    return id;
}

Variant LateBound::Call(const std::string& name, std::initializer_list<Variant> args) {
    Variant result;
    const DISPID id = Id(name);
    if (FAILED(hr_)) return result;
    // Arguments go last first.
    std::vector<Variant> reversed(args.begin(), args.end());
    std::reverse(reversed.begin(), reversed.end());
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                      static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO exception{};
    hr_ =
        control_->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                         &params, &result, &exception, nullptr);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return result;
}

Variant LateBound::Get(const std::string& name) { return Call(name); }

void LateBound::Put(const std::string& name, Variant value) {
    const DISPID id = Id(name);
    if (FAILED(hr_)) return;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&value, &named, 1, 1};
    EXCEPINFO exception{};
    hr_ = control_->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params,
                           nullptr, &exception, nullptr);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
}

double LateBound::Number(const std::string& name) {
    Variant value = Get(name);
    Variant number;
    if (FAILED(VariantChangeType(&number, &value, 0, VT_R8))) return 0.0;
    return number.dblVal;
}

// ---- window/level -----------------------------------------------------------------------------

std::vector<std::uint32_t> WindowLevelTable(double level, double width, int entries) {
    std::vector<std::uint32_t> table(static_cast<std::size_t>(std::max(entries, 2)));
    const double last = static_cast<double>(table.size() - 1);
    width = std::max(width, 1.0 / last);
    const double low = level - width / 2;
    for (std::size_t i = 0; i < table.size(); ++i) {
        const double t = std::clamp((static_cast<double>(i) / last - low) / width, 0.0, 1.0);
        const auto grey = static_cast<std::uint32_t>(std::lround(t * 255.0));
        table[i] = grey | (grey << 8) | (grey << 16);
    }
    return table;
}

// ---- sample read-out --------------------------------------------------------------------------

std::string SampleImage::ValueText(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return {};
    const std::size_t at = (static_cast<std::size_t>(y) * width + x) * channels;
    if (at + channels > data.size()) return {};
    if (channels == 1) return std::to_string(data[at]);
    return std::to_string(data[at]) + "," + std::to_string(data[at + 1]) + "," +
           std::to_string(data[at + 2]);
}

namespace {

std::uint32_t Le16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }
std::uint32_t Le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// The value of a 16-bit element (group, element) with VR US in explicit little endian.
std::optional<std::uint32_t> FindUs(const std::vector<std::uint8_t>& file, std::uint16_t group,
                                    std::uint16_t element) {
    const std::uint8_t pattern[] = {static_cast<std::uint8_t>(group & 0xFF),
                                    static_cast<std::uint8_t>(group >> 8),
                                    static_cast<std::uint8_t>(element & 0xFF),
                                    static_cast<std::uint8_t>(element >> 8),
                                    'U',
                                    'S',
                                    2,
                                    0};
    auto it = std::search(file.begin(), file.end(), std::begin(pattern), std::end(pattern));
    if (it == file.end() || file.end() - it < 10) return std::nullopt;
    return Le16(&*(it + 8));
}

}  // namespace

std::optional<SampleImage> ReadDicomSamples(const std::vector<std::uint8_t>& file) {
    const auto rows = FindUs(file, 0x0028, 0x0010), columns = FindUs(file, 0x0028, 0x0011),
               bits = FindUs(file, 0x0028, 0x0100), samples = FindUs(file, 0x0028, 0x0002);
    if (!rows || !columns || !bits || (*bits != 8 && *bits != 16)) return std::nullopt;
    const std::uint32_t channels = samples ? *samples : 1;
    if (channels != 1 && channels != 3) return std::nullopt;
    // Pixel data is the last element: (7FE0,0010) OW/OB, two reserved bytes, a 32-bit length.
    const std::uint8_t tag[] = {0xE0, 0x7F, 0x10, 0x00};
    auto it = std::find_end(file.begin(), file.end(), std::begin(tag), std::end(tag));
    if (it == file.end() || file.end() - it < 12) return std::nullopt;
    const std::size_t offset = static_cast<std::size_t>(it - file.begin()) + 12;
    const std::uint32_t length = Le32(&file[offset - 4]);
    const std::size_t bytes = *bits / 8;
    const std::size_t count = static_cast<std::size_t>(*rows) * *columns * channels;
    if (length < count * bytes || file.size() - offset < count * bytes) return std::nullopt;
    SampleImage image;
    image.width = static_cast<int>(*columns);
    image.height = static_cast<int>(*rows);
    image.channels = static_cast<int>(channels);
    image.data.resize(count);
    for (std::size_t i = 0; i < count; ++i)
        image.data[i] =
            static_cast<std::uint16_t>(bytes == 2 ? Le16(&file[offset + 2 * i]) : file[offset + i]);
    return image;
}

std::optional<SampleImage> ReadBmpSamples(const std::vector<std::uint8_t>& file) {
    if (file.size() < 54 || file[0] != 'B' || file[1] != 'M') return std::nullopt;
    const std::uint32_t offset = Le32(&file[10]);
    const auto width = static_cast<std::int32_t>(Le32(&file[18]));
    const auto height = static_cast<std::int32_t>(Le32(&file[22]));
    if (Le16(&file[28]) != 24 || Le32(&file[30]) != 0 || width <= 0 || height == 0 ||
        width > 65535 || std::abs(height) > 65535)
        return std::nullopt;
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    const std::size_t rows = static_cast<std::size_t>(std::abs(height));
    if (offset > file.size() || (file.size() - offset) / stride < rows) return std::nullopt;
    SampleImage image;
    image.width = width;
    image.height = static_cast<int>(rows);
    image.channels = 3;
    image.data.resize(static_cast<std::size_t>(width) * rows * 3);
    for (std::size_t y = 0; y < rows; ++y) {
        // Rows run bottom-up unless the height is negative.
        const std::size_t fileRow = height > 0 ? rows - 1 - y : y;
        const std::uint8_t* from = &file[offset + fileRow * stride];
        for (std::int32_t x = 0; x < width; ++x) {
            std::uint16_t* to = &image.data[(y * static_cast<std::size_t>(width) + x) * 3];
            to[0] = from[3 * x + 2];
            to[1] = from[3 * x + 1];
            to[2] = from[3 * x];
        }
    }
    return image;
}

}  // namespace host
