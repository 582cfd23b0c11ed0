// What a presentation state's annotations say, as the loader reads them and the realiser draws
// them. Coordinates are in the units the file gives (PIXEL: image pixels, the top-left corner of
// the top-left pixel 0\0; DISPLAY: 0 … 1 across the image); the realiser maps DISPLAY units onto
// the image.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/Annotation.h"

namespace engine::annotation {

enum class Units { Pixel, Display };

struct Point {
    double x = 0;  // column
    double y = 0;  // row
};

// An sRGB colour; absent members of a style fall back to the layer's, then to the default.
struct Rgb {
    std::uint8_t red = 255, green = 255, blue = 255;
    bool operator==(const Rgb&) const = default;
};

struct LineStyle {
    std::optional<Rgb> color;         // Pattern On Color CIELab Value
    std::optional<double> thickness;  // Line Thickness, in pixels of the image
    bool dashed = false;              // Line Dashing Style DASHED
};

enum class GraphicType { Point, Polyline, Interpolated, Circle, Ellipse };

struct Graphic {
    GraphicType type = GraphicType::Polyline;
    Units units = Units::Pixel;
    std::vector<Point> points;  // POINT 1; POLYLINE and INTERPOLATED 2 or more; CIRCLE 2 (centre,
                                // a point on it); ELLIPSE 4 (major axis ends, minor axis ends)
    bool filled = false;
    LineStyle style;
    std::string layer;
};

enum class Justification { Left, Right, Center };

struct Text {
    std::string value;  // UTF-8 (converted from the file's character set); lines split on CR/LF
    std::optional<Units> boxUnits;
    Point boxTopLeft, boxBottomRight;
    Justification justification = Justification::Left;
    std::optional<Units> anchorUnits;
    Point anchor;
    bool anchorVisible = false;
    std::optional<Rgb> color;  // Text Style Sequence: Text Color CIELab Value
    std::string layer;
};

struct Layer {
    std::string name;
    int order = 0;
    std::optional<Rgb> color;  // from the CIELab value, else the grayscale value
};

}  // namespace engine::annotation

// The container behind HANNOBJECT.
struct AnnContainer {
    std::vector<engine::annotation::Layer> layers;
    std::vector<engine::annotation::Graphic> graphics;
    std::vector<engine::annotation::Text> texts;
    ANNNAMEOPTIONS nameOptions{};
    int skippedObjects = 0;  // objects the loader could not use
};

namespace engine::annotation {
// The container behind a handle the engine handed out and has not destroyed, or null for any
// other value (stale, foreign or null handles). Implemented with the container registry.
AnnContainer* Lookup(HANNOBJECT container);
}  // namespace engine::annotation
