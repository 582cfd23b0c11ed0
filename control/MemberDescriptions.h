// One hand-written description per automation member of IaxLumora, kept beside the member table
// (MemberDescriptions.inc, in the table's order). The host prints the notes beside results and
// generates docs/members.md from them; a test fails while a member of the table has none.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "control/MemberTable.h"

// How a member's Value is read.
enum class ValueReading : std::uint8_t {
    None,          // the member has no Value
    Datum,         // the Value is the datum itself (property readers, queries)
    MappedStatus,  // engine status mapped: 0 success, 1 the engine failed, negative engine codes
    EngineStatus,  // engine status as the engine gave it: 1 success, 0 and negative codes failure
    OwnCodes,      // only the member's own codes below
};

// One Value the member gives, with what it means; `failure` marks the codes the host names
// beside a result.
struct ValueCode {
    int code;
    bool failure;
    const char* meaning;
};

struct ParamNote {
    const char* name;  // as in the member table
    const char* text;  // meaning, unit and range
};

constexpr int kMaxValueCodes = 6;

struct MemberDescription {
    const char* member;
    const char* summary;  // what the member does (properties: what reading and writing do)
    std::array<ParamNote, kMaxParams> params;
    ValueReading value;
    const char* valueText;  // what Value holds (properties: the value's unit and range)
    std::array<ValueCode, kMaxValueCodes> codes;
    const char* details;  // further Markdown (flag-word tables), or null
};

inline constexpr MemberDescription kMemberDescriptions[] = {
#include "control/MemberDescriptions.inc"
};

inline const MemberDescription* FindMemberDescription(std::string_view member) {
    for (const MemberDescription& d : kMemberDescriptions)
        if (member_table_detail::EqualsIgnoreCase(d.member, member)) return &d;
    return nullptr;
}

constexpr int ParamNoteCount(const MemberDescription& d) {
    int n = 0;
    while (n < kMaxParams && d.params[static_cast<std::size_t>(n)].name) ++n;
    return n;
}

constexpr int ValueCodeCount(const MemberDescription& d) {
    int n = 0;
    while (n < kMaxValueCodes && d.codes[static_cast<std::size_t>(n)].meaning) ++n;
    return n;
}
