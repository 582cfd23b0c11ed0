// The hand-written descriptions beside the member table: one per member, naming exactly the
// member's parameters, and reading its Value in a way its type allows. A member added to the
// table without a description fails here by name.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>

#include "control/MemberDescriptions.h"
#include "engine/Status.h"

namespace {

const EntryInfo* FirstEntry(std::string_view member, EntryKind kind) {
    for (const EntryInfo& e : kIaxLumoraEntries)
        if (e.member == member && e.kind == kind) return &e;
    return nullptr;
}

}  // namespace

TEST(MemberDescriptions, EveryMemberOfTheTableHasExactlyOne) {
    std::set<std::string_view> members;
    for (const EntryInfo& e : kIaxLumoraEntries) {
        members.insert(e.member);
        EXPECT_NE(FindMemberDescription(e.member), nullptr) << e.member << " has no description";
    }
    std::set<std::string_view> described;
    for (const MemberDescription& d : kMemberDescriptions) {
        EXPECT_TRUE(described.insert(d.member).second) << d.member << " is described twice";
        EXPECT_TRUE(members.count(d.member)) << d.member << " is described but not in the table";
    }
    EXPECT_EQ(members.size(), 133u);
    EXPECT_EQ(described.size(), members.size());
}

TEST(MemberDescriptions, NameEveryParameterOfTheMethodAndNoOther) {
    for (const MemberDescription& d : kMemberDescriptions) {
        const EntryInfo* method = FirstEntry(d.member, EntryKind::Method);
        const int notes = ParamNoteCount(d);
        if (!method) {
            EXPECT_EQ(notes, 0) << d.member << ": a property takes its value, not parameters";
            continue;
        }
        EXPECT_EQ(notes, method->paramCount) << d.member;
        for (int p = 0; p < method->paramCount; ++p) {
            const std::string_view name = method->params[static_cast<std::size_t>(p)].name;
            bool found = false;
            for (int n = 0; n < notes; ++n)
                found = found || name == d.params[static_cast<std::size_t>(n)].name;
            EXPECT_TRUE(found) << d.member << ": parameter " << name << " is not described";
        }
        for (int n = 0; n < notes; ++n)
            EXPECT_TRUE(d.params[static_cast<std::size_t>(n)].text &&
                        *d.params[static_cast<std::size_t>(n)].text)
                << d.member << ": empty note";
    }
}

TEST(MemberDescriptions, ReadTheValueAsTheEntryDeclaresIt) {
    for (const MemberDescription& d : kMemberDescriptions) {
        ASSERT_TRUE(d.summary && *d.summary) << d.member;
        const EntryInfo* method = FirstEntry(d.member, EntryKind::Method);
        if (!method) {
            EXPECT_EQ(d.value, ValueReading::Datum) << d.member;
            EXPECT_TRUE(d.valueText && *d.valueText)
                << d.member << ": what does the property hold?";
            continue;
        }
        if (!method->hasValue()) {
            EXPECT_EQ(d.value, ValueReading::None) << d.member;
            continue;
        }
        EXPECT_NE(d.value, ValueReading::None) << d.member << " has a Value";
        const VARTYPE vt = method->valueVt;
        if (d.value != ValueReading::Datum) {
            EXPECT_TRUE(vt == VT_I2 || vt == VT_I4) << d.member << ": codes need an integer Value";
        }
        if (d.value == ValueReading::OwnCodes) {
            EXPECT_TRUE(ValueCodeCount(d) > 0 || d.valueText) << d.member << ": which codes?";
        }
        std::set<int> codes;
        for (int i = 0; i < ValueCodeCount(d); ++i)
            EXPECT_TRUE(codes.insert(d.codes[static_cast<std::size_t>(i)].code).second)
                << d.member << ": code listed twice";
    }
}

// The reference is this product's own documentation: it cites no numbered parts of another.
TEST(MemberDescriptions, CiteNoOtherDocument) {
    auto check = [](std::string_view member, const char* text) {
        if (!text) return;
        const std::string_view t(text);
        EXPECT_EQ(t.find("Part "), std::string_view::npos) << member;
    };
    for (const MemberDescription& d : kMemberDescriptions) {
        check(d.member, d.summary);
        check(d.member, d.valueText);
        check(d.member, d.details);
        for (int n = 0; n < ParamNoteCount(d); ++n)
            check(d.member, d.params[static_cast<std::size_t>(n)].text);
    }
}

TEST(EngineStatusTable, OneNameAndMeaningPerCode) {
    std::set<int> codes;
    std::set<std::string_view> names;
    for (const EngineStatusInfo& s : kEngineStatuses) {
        EXPECT_TRUE(codes.insert(s.code).second) << s.code;
        EXPECT_TRUE(names.insert(s.name).second) << s.name;
        EXPECT_STREQ(EngineStatusName(s.code), s.name);
        EXPECT_TRUE(s.meaning && *s.meaning) << s.name;
    }
    // The codes run without gaps from the last error to success.
    EXPECT_EQ(*codes.rbegin(), SUCCESS);
    EXPECT_EQ(static_cast<int>(codes.size()), SUCCESS - *codes.begin() + 1);
}
