// BSTR layout and ownership, and the UTF-8 / UTF-16 conversions.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/automation/OleAuto.h"

namespace {

std::uint32_t Prefix(BSTR bstr) {
    std::uint32_t bytes;
    std::memcpy(&bytes, reinterpret_cast<const char*>(bstr) - 4, sizeof bytes);
    return bytes;
}

TEST(AutomationBstr, LengthComesFromPrefixSoEmbeddedZerosCount) {
    const char16_t text[] = {u'a', 0, u'b', 0, u'c'};
    BStr s = BStr::Attach(SysAllocStringLen(text, 5));
    ASSERT_NE(s.get(), nullptr);
    EXPECT_EQ(Prefix(s.get()), 10u);
    EXPECT_EQ(SysStringLen(s.get()), 5u);
    EXPECT_EQ(SysStringByteLen(s.get()), 10u);
    EXPECT_EQ(std::memcmp(s.get(), text, sizeof text), 0);
    EXPECT_EQ(s.get()[5], 0);  // terminator after the counted characters

    BStr copy = s;  // the copy keeps the embedded zeros
    EXPECT_NE(copy.get(), s.get());
    EXPECT_EQ(copy.length(), 5u);
    EXPECT_EQ(std::memcmp(copy.get(), text, sizeof text), 0);
}

TEST(AutomationBstr, NullIsEmptyAndFreeingNullIsHarmless) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);
    EXPECT_EQ(BstrToUtf8(nullptr), "");

    BStr empty = BStr::Attach(SysAllocStringLen(nullptr, 3));  // no source: zero-filled
    ASSERT_EQ(empty.length(), 3u);
    for (UINT i = 0; i <= 3; ++i) EXPECT_EQ(empty.get()[i], 0);
}

TEST(AutomationBstr, OddByteLengthKeepsItsBytesAndAWholeTerminator) {
    BStr s = BStr::Attach(SysAllocStringByteLen("abc", 3));
    ASSERT_NE(s.get(), nullptr);
    EXPECT_EQ(SysStringByteLen(s.get()), 3u);
    EXPECT_EQ(SysStringLen(s.get()), 1u);
    const char* bytes = reinterpret_cast<const char*>(s.get());
    EXPECT_EQ(std::string(bytes, 3), "abc");
    EXPECT_EQ(s.get()[2], 0);  // first 16-bit unit wholly past the text

    BStr copy = s;
    EXPECT_EQ(SysStringByteLen(copy.get()), 3u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(copy.get()), 3), "abc");
}

TEST(AutomationBstr, ReAllocFromItsOwnTextIsSafe) {
    BSTR s = SysAllocString(u"hello world");
    ASSERT_EQ(SysReAllocString(&s, s + 6), 1);
    EXPECT_EQ(std::u16string(s, SysStringLen(s)), u"world");
    EXPECT_EQ(SysReAllocString(nullptr, u"x"), 0);
    SysFreeString(s);
}

TEST(AutomationBstr, OwnerHandsOverAndResets) {
    BStr a = BStr::FromUtf8("abc");
    BStr b = std::move(a);
    EXPECT_EQ(a.get(), nullptr);
    EXPECT_EQ(b.utf8(), "abc");
    *b.put() = SysAllocString(u"new");
    EXPECT_EQ(b.utf8(), "new");
    BSTR raw = b.detach();
    EXPECT_EQ(b.get(), nullptr);
    SysFreeString(raw);
}

TEST(AutomationText, ValidTextRoundTripsIncludingAstralCharacters) {
    const std::vector<std::string> samples = {
        "",
        "plain ascii",
        "Gr\xC3\xBC\xC3\x9F"
        "e",                                      // Grüße
        "\xE6\x97\xA5\xE6\x9C\xAC",               // two CJK ideographs
        "\xF0\x9F\x98\x80 and \xF0\x9D\x84\x9E",  // U+1F600, U+1D11E
        "\xF4\x8F\xBF\xBF",                       // U+10FFFF, the last code point
        std::string("nul\0inside", 10),
    };
    for (const std::string& sample : samples) {
        SCOPED_TRACE(sample);
        EXPECT_EQ(WideToUtf8(Utf8ToWide(sample)), sample);
        BStr bstr = BStr::FromUtf8(sample);
        ASSERT_NE(bstr.get(), nullptr);
        EXPECT_EQ(bstr.utf8(), sample);
    }
    EXPECT_EQ(Utf8ToWide("\xF0\x9F\x98\x80"), std::u16string(u"\U0001F600"));
    EXPECT_EQ(BStr::FromUtf8("\xF0\x9F\x98\x80").length(), 2u);  // one surrogate pair
}

TEST(AutomationText, IllFormedUtf8BecomesReplacementCharacters) {
    struct Case {
        std::string input;
        std::u16string expected;
    };
    const std::vector<Case> cases = {
        {"a\xFF"
         "b",
         u"a\uFFFDb"},
        {"\xC0\xAF", u"\uFFFD\uFFFD"},                      // overlong '/'
        {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},            // overlong, three bytes
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
        {"\xE6\x97", u"\uFFFD"},                            // truncated at the end
        {"\xE6\x97"
         "a",
         u"\uFFFDa"},                   // truncated before ASCII
        {"\x80\x80", u"\uFFFD\uFFFD"},  // stray continuations
        {"\xF0\x9F\x98", u"\uFFFD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(Utf8ToWide(c.input), c.expected);
    }
}

TEST(AutomationText, UnpairedSurrogatesBecomeReplacementCharacters) {
    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(WideToUtf8(std::u16string{0xD800, u'x'}), replacement + "x");
    EXPECT_EQ(WideToUtf8(std::u16string{u'x', 0xDC00}), "x" + replacement);
    EXPECT_EQ(WideToUtf8(std::u16string{0xD83D}), replacement);
    EXPECT_EQ(WideToUtf8(std::u16string{0xDE00, 0xD83D}), replacement + replacement);
}

}  // namespace
