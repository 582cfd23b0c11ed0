// JPEG 2000 frames that older writers stored as whole JP2 files (signature, header boxes, then the
// codestream box) instead of the bare codestream the transfer syntax asks for (PS3.5 A.4.4).
#include <array>
#include <cstring>
#include <map>

#include "engine/file/DicomShared.h"

namespace engine::file {
namespace {

constexpr std::array<std::uint8_t, 12> kJp2Signature = {0x00, 0x00, 0x00, 0x0C, 0x6A, 0x50,
                                                        0x20, 0x20, 0x0D, 0x0A, 0x87, 0x0A};

std::uint32_t Big32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}
std::uint32_t Little32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}
void PutLittle32(std::vector<std::uint8_t>* out, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) out->push_back(static_cast<std::uint8_t>(v >> (8 * k)));
}
void PutItemHeader(std::vector<std::uint8_t>* out, std::uint32_t length) {
    out->insert(out->end(), {0xFE, 0xFF, 0x00, 0xE0});
    PutLittle32(out, length);
}

bool IsJp2(Bytes fragment) {
    return fragment.size() >= kJp2Signature.size() &&
           std::memcmp(fragment.data(), kJp2Signature.data(), kJp2Signature.size()) == 0;
}

// The contents of the top-level contiguous codestream box ('jp2c'), if the boxes up to it fit.
std::optional<Bytes> CodestreamBox(Bytes file) {
    std::size_t pos = 0;
    while (file.size() - pos >= 8) {
        const std::uint64_t declared = Big32(file.data() + pos);
        const bool codestream = std::memcmp(file.data() + pos + 4, "jp2c", 4) == 0;
        std::size_t header = 8;
        std::uint64_t length = declared;
        if (declared == 1) {  // 64-bit length follows
            if (file.size() - pos < 16) return std::nullopt;
            length =
                std::uint64_t{Big32(file.data() + pos + 8)} << 32 | Big32(file.data() + pos + 12);
            header = 16;
        } else if (declared == 0) {  // to the end
            length = file.size() - pos;
        }
        if (length < header || length > file.size() - pos) return std::nullopt;
        if (codestream)
            return file.subspan(pos + header, static_cast<std::size_t>(length) - header);
        pos += static_cast<std::size_t>(length);
    }
    return std::nullopt;
}

}  // namespace

int UnwrapJp2Frames(Bytes data, const PixelAttributes& a, std::vector<std::uint8_t>* out) {
    if (a.fragments.size() < 2) return ERROR_FILE_CORRUPT;
    bool wrapped = false;
    for (std::size_t i = 1; i < a.fragments.size(); ++i)
        wrapped = wrapped || IsJp2(data.subspan(a.fragments[i].first, a.fragments[i].second));
    if (!wrapped) return ERROR_FILE_CORRUPT;
    // The file up to the offset table's item, then the fragments with each JP2 file replaced by
    // its codestream (padded to even length), then the rest. The offset table is rebuilt: it
    // points at items, which move.
    const std::size_t tableItem = a.fragments[0].first - 8;
    std::vector<std::uint8_t> items;
    std::map<std::uint64_t, std::uint64_t> moved;  // item offsets after the table: old -> new
    std::uint64_t oldOffset = 0;
    for (std::size_t i = 1; i < a.fragments.size(); ++i) {
        const auto [offset, length] = a.fragments[i];
        moved[oldOffset] = items.size();
        oldOffset += 8 + std::uint64_t{length};
        Bytes fragment = data.subspan(offset, length);
        if (IsJp2(fragment)) {
            const std::optional<Bytes> codestream = CodestreamBox(fragment);
            if (!codestream) return ERROR_FILE_CORRUPT;
            fragment = *codestream;
        }
        const bool pad = fragment.size() % 2 != 0;
        PutItemHeader(&items, static_cast<std::uint32_t>(fragment.size() + pad));
        items.insert(items.end(), fragment.begin(), fragment.end());
        if (pad) items.push_back(0);
    }
    const auto [tableOffset, tableLength] = a.fragments[0];
    std::vector<std::uint8_t> table;
    for (std::uint32_t k = 0; k + 4 <= tableLength; k += 4) {
        const auto found = moved.find(Little32(data.data() + tableOffset + k));
        if (found == moved.end()) {  // not pointing at an item: leave the table out
            table.clear();
            break;
        }
        PutLittle32(&table, static_cast<std::uint32_t>(found->second));
    }
    const std::size_t rest = a.fragments.back().first + a.fragments.back().second;
    out->assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(tableItem));
    PutItemHeader(out, static_cast<std::uint32_t>(table.size()));
    out->insert(out->end(), table.begin(), table.end());
    out->insert(out->end(), items.begin(), items.end());
    out->insert(out->end(), data.begin() + static_cast<std::ptrdiff_t>(rest), data.end());
    return SUCCESS;
}

}  // namespace engine::file
