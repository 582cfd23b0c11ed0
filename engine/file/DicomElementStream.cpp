#include "engine/file/DicomElementStream.h"

namespace engine::file::stream {

namespace {

constexpr VrInfo kVrs[] = {
    {"AE", false, 1}, {"AS", false, 1}, {"AT", false, 4}, {"CS", false, 1}, {"DA", false, 1},
    {"DS", false, 1}, {"DT", false, 1}, {"FD", false, 8}, {"FL", false, 4}, {"IS", false, 1},
    {"LO", false, 1}, {"LT", false, 1}, {"OB", true, 1},  {"OD", true, 8},  {"OF", true, 4},
    {"OL", true, 4},  {"OV", true, 8},  {"OW", true, 2},  {"PN", false, 1}, {"SH", false, 1},
    {"SL", false, 4}, {"SQ", true, 1},  {"SS", false, 2}, {"ST", false, 1}, {"SV", true, 8},
    {"TM", false, 1}, {"UC", true, 1},  {"UI", false, 1}, {"UL", false, 4}, {"UN", true, 1},
    {"UR", true, 1},  {"US", false, 2}, {"UT", true, 1},  {"UV", true, 8}};

}  // namespace

const VrInfo* FindVr(std::uint8_t a, std::uint8_t b) {
    for (const VrInfo& vr : kVrs)
        if (static_cast<std::uint8_t>(vr.name[0]) == a &&
            static_cast<std::uint8_t>(vr.name[1]) == b)
            return &vr;
    return nullptr;
}

bool ElementReader::Header(std::size_t pos, std::size_t end, ElementHeader* out) const {
    if (pos > end || end - pos < 8) return false;
    out->group = U16(pos);
    out->element = U16(pos + 2);
    if (!explicitVr_) {
        out->vr = nullptr;
        out->length = U32(pos + 4);
        out->size = 8;
        return true;
    }
    out->vr = FindVr(data_[pos + 4], data_[pos + 5]);
    if (!out->vr) return false;
    if (out->vr->longForm) {
        if (end - pos < 12) return false;
        out->length = U32(pos + 8);
        out->size = 12;
    } else {
        out->length = U16(pos + 6);
        out->size = 8;
    }
    return true;
}

}  // namespace engine::file::stream
