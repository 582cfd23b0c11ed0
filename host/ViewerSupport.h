// Pieces of the viewer that need no window system: late-bound calls on the control, the
// window/level look-up table, and reading sample values out of the image the control hands
// back as a file in memory.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/automation/OleAuto.h"

namespace host {

// Calls members by name through IDispatch (GetIDsOfNames + Invoke), as a script host does.
class LateBound {
public:
    explicit LateBound(IDispatch* control) : control_(control) {}
    // A method call; the Value comes back as the result (empty on failure, with `hr` set).
    Variant Call(const std::string& name, std::initializer_list<Variant> args = {});
    Variant Get(const std::string& name);
    void Put(const std::string& name, Variant value);
    double Number(const std::string& name);
    HRESULT lastResult() const { return hr_; }

private:
    DISPID Id(const std::string& name);
    IDispatch* control_;
    std::map<std::string, DISPID> ids_;
    HRESULT hr_ = S_OK;
};

// A grey ramp of `entries` colour words (0x00RRGGBB) for a window of the paint range: `level`
// is the window's centre and `width` its width, both as fractions of the whole range. Values
// below the window are black, above it white.
std::vector<std::uint32_t> WindowLevelTable(double level, double width, int entries = 4096);

// The samples of an image, for the status line's read-out.
struct SampleImage {
    int width = 0, height = 0;
    int channels = 1;                 // 1 grey, 3 colour (R, G, B)
    std::vector<std::uint16_t> data;  // row-major, top row first
    // The text for the pixel at (x, y): "1234" or "R,G,B"; empty outside the image.
    std::string ValueText(int x, int y) const;
};

// An uncompressed DICOM image (explicit VR, little endian) as the control writes it.
std::optional<SampleImage> ReadDicomSamples(const std::vector<std::uint8_t>& file);
// A 24-bit BMP.
std::optional<SampleImage> ReadBmpSamples(const std::vector<std::uint8_t>& file);

}  // namespace host
