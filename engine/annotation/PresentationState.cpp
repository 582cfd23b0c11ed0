// The annotation objects of a presentation state, taken from GDCM's data set once the element
// stream has passed CheckElementStream (PS3.3 C.10.5 Graphic Annotation Module, C.10.7 Graphic
// Layer Module). Objects that cannot be drawn are skipped and counted.
#include "engine/annotation/PresentationState.h"

#include <gdcmDataSet.h>
#include <gdcmItem.h>
#include <gdcmReader.h>
#include <gdcmSequenceOfItems.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <istream>
#include <optional>
#include <streambuf>
#include <string>
#include <string_view>

#include "engine/annotation/CieLab.h"
#include "engine/file/LibraryMessages.h"
#include "engine/file/MemoryStreamBuffer.h"

namespace engine::annotation {
namespace {

using Bytes = std::span<const std::uint8_t>;

// ---- attributes (PS3.3 C.10.5 Graphic Annotation Module, C.10.7 Graphic Layer Module) ----

const gdcm::Tag kSpecificCharacterSet{0x0008, 0x0005};
const gdcm::Tag kGraphicAnnotationSequence{0x0070, 0x0001};
const gdcm::Tag kGraphicLayer{0x0070, 0x0002};
const gdcm::Tag kBoundingBoxAnnotationUnits{0x0070, 0x0003};
const gdcm::Tag kAnchorPointAnnotationUnits{0x0070, 0x0004};
const gdcm::Tag kGraphicAnnotationUnits{0x0070, 0x0005};
const gdcm::Tag kUnformattedTextValue{0x0070, 0x0006};
const gdcm::Tag kTextObjectSequence{0x0070, 0x0008};
const gdcm::Tag kGraphicObjectSequence{0x0070, 0x0009};
const gdcm::Tag kBoundingBoxTopLeftHandCorner{0x0070, 0x0010};
const gdcm::Tag kBoundingBoxBottomRightHandCorner{0x0070, 0x0011};
const gdcm::Tag kBoundingBoxTextHorizontalJustification{0x0070, 0x0012};
const gdcm::Tag kAnchorPoint{0x0070, 0x0014};
const gdcm::Tag kAnchorPointVisibility{0x0070, 0x0015};
const gdcm::Tag kGraphicDimensions{0x0070, 0x0020};
const gdcm::Tag kNumberOfGraphicPoints{0x0070, 0x0021};
const gdcm::Tag kGraphicData{0x0070, 0x0022};
const gdcm::Tag kGraphicType{0x0070, 0x0023};
const gdcm::Tag kGraphicFilled{0x0070, 0x0024};
const gdcm::Tag kGraphicLayerSequence{0x0070, 0x0060};
const gdcm::Tag kGraphicLayerOrder{0x0070, 0x0062};
const gdcm::Tag kGraphicLayerRecommendedDisplayGrayscaleValue{0x0070, 0x0066};
const gdcm::Tag kTextStyleSequence{0x0070, 0x0231};
const gdcm::Tag kLineStyleSequence{0x0070, 0x0232};
const gdcm::Tag kTextColorCIELabValue{0x0070, 0x0241};
const gdcm::Tag kPatternOnColorCIELabValue{0x0070, 0x0251};
const gdcm::Tag kLineThickness{0x0070, 0x0253};
const gdcm::Tag kLineDashingStyle{0x0070, 0x0254};
const gdcm::Tag kGraphicLayerRecommendedDisplayCIELabValue{0x0070, 0x0401};

// ---- reading GDCM's data set ----

// An attribute's value bytes: absent (nullopt), or present with the VR the standard gives it, or
// present in another VR (wrongVr). Implicit VR files carry no VR: their values are taken as given.
struct Value {
    std::string_view bytes;
    bool wrongVr = false;
};

// expected: the VRs the attribute may have, or-ed.
std::optional<Value> Find(const gdcm::DataSet& ds, const gdcm::Tag& tag, long long expected) {
    if (!ds.FindDataElement(tag)) return std::nullopt;
    const gdcm::DataElement& element = ds.GetDataElement(tag);
    const long long vr = gdcm::VR::VRType(element.GetVR());
    Value value;
    value.wrongVr = !(vr == gdcm::VR::INVALID || vr == gdcm::VR::UN || (vr & expected));
    if (element.IsEmpty()) return value;
    const gdcm::ByteValue* bytes = element.GetByteValue();
    if (!bytes) {
        value.wrongVr = true;  // a sequence where a value belongs
        return value;
    }
    value.bytes = std::string_view(bytes->GetPointer(), bytes->GetLength());
    return value;
}

std::optional<std::string_view> FindCodeString(const gdcm::DataSet& ds, const gdcm::Tag& tag) {
    const auto value = Find(ds, tag, gdcm::VR::CS);
    if (!value || value->wrongVr) return std::nullopt;
    return TrimmedText(value->bytes);
}

float FloatAt(std::string_view bytes, std::size_t index) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + 4 * index;
    return std::bit_cast<float>(
        static_cast<std::uint32_t>(p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t{p[3]} << 24));
}

std::uint16_t U16At(std::string_view bytes, std::size_t index) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + 2 * index;
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

// A point (FL column\row); nullopt when absent; false in *valid when malformed or not finite.
std::optional<Point> FindPoint(const gdcm::DataSet& ds, const gdcm::Tag& tag, bool* valid) {
    const auto value = Find(ds, tag, gdcm::VR::FL);
    if (!value) return std::nullopt;
    if (value->wrongVr || value->bytes.size() != 8) {
        *valid = false;
        return std::nullopt;
    }
    const Point point{FloatAt(value->bytes, 0), FloatAt(value->bytes, 1)};
    if (!std::isfinite(point.x) || !std::isfinite(point.y)) *valid = false;
    return point;
}

std::optional<Rgb> FindCieLab(const gdcm::DataSet& ds, const gdcm::Tag& tag) {
    const auto value = Find(ds, tag, gdcm::VR::US);
    if (!value || value->wrongVr || value->bytes.size() != 6) return std::nullopt;
    return EncodedCieLabToRgb(U16At(value->bytes, 0), U16At(value->bytes, 1),
                              U16At(value->bytes, 2));
}

std::optional<Units> UnitsOf(std::optional<std::string_view> code) {
    if (code == "PIXEL") return Units::Pixel;
    if (code == "DISPLAY") return Units::Display;
    return std::nullopt;
}

// Items of a sequence attribute. nullopt when present but not a sequence.
using ItemList = std::vector<const gdcm::Item*>;
std::optional<ItemList> FindItems(const gdcm::DataSet& ds, const gdcm::Tag& tag,
                                  std::vector<gdcm::SmartPointer<gdcm::SequenceOfItems>>* keep) {
    ItemList items;
    if (!ds.FindDataElement(tag)) return items;
    const gdcm::DataElement& element = ds.GetDataElement(tag);
    if (element.IsEmpty()) return items;
    const gdcm::VR::VRType vr = element.GetVR();
    if (element.GetSequenceOfFragments() || !(vr == gdcm::VR::SQ || vr == gdcm::VR::INVALID))
        return std::nullopt;
    if (const gdcm::ByteValue* bytes = element.GetByteValue()) {
        // An implicit VR value of defined length: GDCM parses it on request. Only values that
        // open with an item were walked as a sequence.
        const auto* p = reinterpret_cast<const unsigned char*>(bytes->GetPointer());
        if (bytes->GetLength() < 8 ||
            !(p[0] == 0xFE && p[1] == 0xFF && p[2] == 0x00 && p[3] == 0xE0))
            return std::nullopt;
    }
    gdcm::SmartPointer<gdcm::SequenceOfItems> sequence = element.GetValueAsSQ();
    if (!sequence) return std::nullopt;
    for (gdcm::SequenceOfItems::SizeType i = 1; i <= sequence->GetNumberOfItems(); ++i)
        items.push_back(&sequence->GetItem(i));
    keep->push_back(sequence);  // items parsed on request live in this sequence
    return items;
}

// ---- objects ----

class AnnotationReader {
public:
    explicit AnnotationReader(AnnContainer* out) : out_(out) {}

    int Read(const gdcm::DataSet& ds) {
        const Charset charset = OwnCharset(ds, Charset::Ascii);
        const auto layers = FindItems(ds, kGraphicLayerSequence, &keep_);
        if (layers)
            for (const gdcm::Item* item : *layers) ReadLayer(item->GetNestedDataSet());
        const auto annotations = FindItems(ds, kGraphicAnnotationSequence, &keep_);
        if (!annotations) return ERROR_FILE_CORRUPT;
        for (const gdcm::Item* item : *annotations)
            ReadAnnotation(item->GetNestedDataSet(), charset);
        out_->skippedObjects = static_cast<int>(std::min<std::size_t>(skipped_, INT32_MAX));
        if (objects_ > 0 && skipped_ == objects_) return ERROR_FILE_CORRUPT;
        return SUCCESS;
    }

private:
    static Charset OwnCharset(const gdcm::DataSet& ds, Charset inherited) {
        const auto value = Find(ds, kSpecificCharacterSet, gdcm::VR::CS);
        if (!value || value->wrongVr) return inherited;
        return CharsetOf(value->bytes, inherited);
    }

    void ReadLayer(const gdcm::DataSet& ds) {
        Layer layer;
        const auto name = FindCodeString(ds, kGraphicLayer);
        if (!name || name->empty()) return;
        layer.name = std::string(*name);
        if (const auto order = Find(ds, kGraphicLayerOrder, gdcm::VR::IS);
            order && !order->wrongVr) {
            std::string_view text = TrimmedText(order->bytes);
            if (!text.empty() && text.front() == '+') text.remove_prefix(1);
            long long number = 0;
            const auto [end, error] =
                std::from_chars(text.data(), text.data() + text.size(), number);
            if (error == std::errc() && end == text.data() + text.size())
                layer.order = static_cast<int>(std::clamp<long long>(number, INT32_MIN, INT32_MAX));
        }
        const auto grey = Find(ds, kGraphicLayerRecommendedDisplayGrayscaleValue, gdcm::VR::US);
        if (grey && !grey->wrongVr && grey->bytes.size() == 2)
            layer.color = GrayscaleToRgb(U16At(grey->bytes, 0));
        if (const auto lab = FindCieLab(ds, kGraphicLayerRecommendedDisplayCIELabValue))
            layer.color = lab;
        out_->layers.push_back(std::move(layer));
    }

    void ReadAnnotation(const gdcm::DataSet& ds, Charset inherited) {
        const Charset charset = OwnCharset(ds, inherited);
        const std::string layer(FindCodeString(ds, kGraphicLayer).value_or(std::string_view()));
        const auto texts = FindItems(ds, kTextObjectSequence, &keep_);
        const auto graphics = FindItems(ds, kGraphicObjectSequence, &keep_);
        // A sequence that cannot be read counts as one object that cannot be used.
        if (!texts) ++objects_, ++skipped_;
        if (!graphics) ++objects_, ++skipped_;
        for (const gdcm::Item* item : texts.value_or(ItemList{})) {
            if (!Admit()) continue;
            Text text;
            text.layer = layer;
            if (ReadText(item->GetNestedDataSet(), charset, &text))
                out_->texts.push_back(std::move(text));
            else ++skipped_;
        }
        for (const gdcm::Item* item : graphics.value_or(ItemList{})) {
            if (!Admit()) continue;
            Graphic graphic;
            graphic.layer = layer;
            if (ReadGraphic(item->GetNestedDataSet(), &graphic))
                out_->graphics.push_back(std::move(graphic));
            else ++skipped_;
        }
    }

    // Counts an object; false (and skipped) past the cap.
    bool Admit() {
        ++objects_;
        if (objects_ <= kMaxObjectsPerFile) return true;
        ++skipped_;
        return false;
    }

    bool ReadGraphic(const gdcm::DataSet& ds, Graphic* graphic) {
        const auto units = UnitsOf(FindCodeString(ds, kGraphicAnnotationUnits));
        if (!units) return false;
        graphic->units = *units;
        if (const auto dimensions = Find(ds, kGraphicDimensions, gdcm::VR::US)) {
            if (dimensions->wrongVr || dimensions->bytes.size() != 2 ||
                U16At(dimensions->bytes, 0) != 2)
                return false;
        }
        const auto data = Find(ds, kGraphicData, gdcm::VR::FL);
        if (!data || data->wrongVr || data->bytes.empty() || data->bytes.size() % 8) return false;
        const std::size_t count = data->bytes.size() / 8;
        if (count > kMaxPointsPerObject || count > kMaxPointsPerFile - points_) return false;
        // Number of Graphic Points is US in older editions of PS3.3 and UL in newer ones.
        if (const auto number = Find(ds, kNumberOfGraphicPoints, gdcm::VR::US | gdcm::VR::UL)) {
            const std::string_view bytes = number->bytes;
            std::uint32_t declared;
            if (number->wrongVr) return false;
            if (bytes.size() == 2) declared = U16At(bytes, 0);
            else if (bytes.size() == 4)
                declared = U16At(bytes, 0) | std::uint32_t{U16At(bytes, 1)} << 16;
            else return false;
            if (declared != count) return false;
        }
        const auto type = FindCodeString(ds, kGraphicType);
        if (type == "POINT" && count == 1) graphic->type = GraphicType::Point;
        else if (type == "POLYLINE" && count >= 2) graphic->type = GraphicType::Polyline;
        else if (type == "INTERPOLATED" && count >= 2) graphic->type = GraphicType::Interpolated;
        else if (type == "CIRCLE" && count == 2) graphic->type = GraphicType::Circle;
        else if (type == "ELLIPSE" && count == 4) graphic->type = GraphicType::Ellipse;
        else return false;
        graphic->points.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            const Point point{FloatAt(data->bytes, 2 * i), FloatAt(data->bytes, 2 * i + 1)};
            if (!std::isfinite(point.x) || !std::isfinite(point.y)) return false;
            graphic->points[i] = point;
        }
        graphic->filled = FindCodeString(ds, kGraphicFilled) == "Y";
        const auto styles = FindItems(ds, kLineStyleSequence, &keep_);
        if (styles && !styles->empty()) {
            const gdcm::DataSet& style = styles->front()->GetNestedDataSet();
            graphic->style.color = FindCieLab(style, kPatternOnColorCIELabValue);
            const auto thickness = Find(style, kLineThickness, gdcm::VR::FL);
            if (thickness && !thickness->wrongVr && thickness->bytes.size() == 4) {
                const double value = FloatAt(thickness->bytes, 0);
                if (std::isfinite(value) && value > 0) graphic->style.thickness = value;
            }
            graphic->style.dashed = FindCodeString(style, kLineDashingStyle) == "DASHED";
        }
        points_ += count;
        return true;
    }

    bool ReadText(const gdcm::DataSet& ds, Charset inherited, Text* text) {
        const auto value =
            Find(ds, kUnformattedTextValue, gdcm::VR::ST | gdcm::VR::UT | gdcm::VR::LT);
        if (!value || value->wrongVr || value->bytes.size() > kMaxTextBytes ||
            value->bytes.size() > kMaxTextBytesPerFile - textBytes_)
            return false;
        text->value = TextToUtf8(value->bytes, OwnCharset(ds, inherited));
        if (text->value.empty()) return false;
        bool valid = true;
        const auto topLeft = FindPoint(ds, kBoundingBoxTopLeftHandCorner, &valid);
        const auto bottomRight = FindPoint(ds, kBoundingBoxBottomRightHandCorner, &valid);
        const auto anchor = FindPoint(ds, kAnchorPoint, &valid);
        if (!valid || topLeft.has_value() != bottomRight.has_value() || (!topLeft && !anchor))
            return false;
        if (topLeft) {
            text->boxUnits = UnitsOf(FindCodeString(ds, kBoundingBoxAnnotationUnits));
            if (!text->boxUnits) return false;
            // A box given corner for corner the wrong way round still says where the text goes.
            text->boxTopLeft = {std::min(topLeft->x, bottomRight->x),
                                std::min(topLeft->y, bottomRight->y)};
            text->boxBottomRight = {std::max(topLeft->x, bottomRight->x),
                                    std::max(topLeft->y, bottomRight->y)};
            const auto justification = FindCodeString(ds, kBoundingBoxTextHorizontalJustification);
            if (justification == "RIGHT") text->justification = Justification::Right;
            else if (justification == "CENTER") text->justification = Justification::Center;
        }
        if (anchor) {
            text->anchorUnits = UnitsOf(FindCodeString(ds, kAnchorPointAnnotationUnits));
            if (!text->anchorUnits) return false;
            text->anchor = *anchor;
            text->anchorVisible = FindCodeString(ds, kAnchorPointVisibility) == "Y";
        }
        const auto styles = FindItems(ds, kTextStyleSequence, &keep_);
        if (styles && !styles->empty())
            text->color = FindCieLab(styles->front()->GetNestedDataSet(), kTextColorCIELabValue);
        textBytes_ += value->bytes.size();
        return true;
    }

    AnnContainer* out_;
    std::vector<gdcm::SmartPointer<gdcm::SequenceOfItems>> keep_;
    std::size_t objects_ = 0, skipped_ = 0, points_ = 0, textBytes_ = 0;
};

}  // namespace

int ReadPresentationState(Bytes data, AnnContainer* out) {
    const int checked = CheckElementStream(data);
    if (checked != SUCCESS) return checked;
    file::InstallLibraryMessageRouting();  // GDCM's warnings go to the debug log
    try {
        engine::MemoryStreamBuffer buffer(data);
        std::istream stream(&buffer);
        gdcm::Reader reader;
        reader.SetStream(stream);
        if (!reader.Read()) return ERROR_FILE_CORRUPT;
        return AnnotationReader(out).Read(reader.GetFile().GetDataSet());
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    } catch (const std::exception&) {
        return ERROR_FILE_CORRUPT;
    }
}

}  // namespace engine::annotation
