// Raw frames in memory the platform handed out (global memory blocks here, a host's buffers in
// the host tests): a frame that would read past its block is refused before the current image
// is touched; a frame that fits exactly still loads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "platform/handles/GlobalMemory.h"
#include "tests/control/ControlFixture.h"

namespace {

std::uint64_t Address(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

// A global memory block of `size` bytes, locked for the test's scope, filled with 0x21.
class Block {
public:
    explicit Block(std::size_t size) : handle_(GlobalAlloc(GHND, size)) {
        data_ = static_cast<std::uint8_t*>(GlobalLock(handle_));
        if (data_) std::memset(data_, 0x21, size);
    }
    ~Block() {
        GlobalUnlock(handle_);
        GlobalFree(handle_);
    }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    std::uint64_t address(std::size_t offset = 0) const { return Address(data_ + offset); }
    std::uint8_t* data() const { return data_; }

private:
    HGLOBAL handle_;
    std::uint8_t* data_ = nullptr;
};

// A 3 × 2 grey image from ordinary memory (no known region), to see that refusals keep it.
void LoadReference(const ComPtr<IaxLumora>& c) {
    const std::uint16_t words[] = {1, 2, 3, 4, 5, 6};
    LONG value = 0;
    BStr name(u"");
    ASSERT_EQ(c->LoadBuffer(Address(words), name.get(), 3, 2, 0x40000, &value), S_OK);
    ASSERT_EQ(value, 1);
}

void ExpectReferenceKept(const ComPtr<IaxLumora>& c) {
    const BITMAPHANDLE& b = Impl(c).CurrentBitmap;
    ASSERT_NE(b.Addr, nullptr);
    EXPECT_EQ(b.Width, 3);
    EXPECT_EQ(b.Height, 2);
    std::uint16_t last = 0;
    std::memcpy(&last, b.Addr + b.BytesPerLine + 4, 2);
    EXPECT_EQ(last, 6);
}

bool Logged(const CapturedLog& log, const std::string& start) {
    return std::any_of(log.lines().begin(), log.lines().end(),
                       [&](const std::string& line) { return line.rfind(start, 0) == 0; });
}

// Runs `load` on a block of exactly `needed` bytes (it must load) and of one byte less (it must
// be refused with -1, one log line starting with `logStart`, and the reference image kept).
void ExpectExactFitOnly(const std::string& what, std::size_t needed, const std::string& logStart,
                        const std::function<LONG(const ComPtr<IaxLumora>&, const Block&)>& load) {
    SCOPED_TRACE(what);
    auto c = NewControl();
    {
        Block exact(needed);
        EXPECT_EQ(load(c, exact), 1);
    }
    LoadReference(c);
    Block shortBlock(needed - 1);
    CapturedLog log;
    EXPECT_EQ(load(c, shortBlock), -1);
    EXPECT_TRUE(Logged(log, logStart + ", Frame needs " + std::to_string(needed) + " bytes"))
        << (log.lines().empty() ? "" : log.lines().back());
    ExpectReferenceKept(c);
}

LONG LoadBuffer(const ComPtr<IaxLumora>& c, std::uint64_t address, int w, int h,
                std::uint64_t flags) {
    LONG value = 0;
    BStr name(u"");
    EXPECT_EQ(c->LoadBuffer(address, name.get(), w, h, flags, &value), S_OK);
    return value;
}

}  // namespace

TEST(ShortBuffer, LoadBufferReadsNoFurtherThanEachMethodsFrame) {
    struct Case {
        const char* name;
        std::uint64_t flags;
        int width, height;
        std::size_t bytes;
    };
    const Case cases[] = {
        {"method 0, 16-bit", 0x00000, 5, 3, 30},      {"method 1, 16-bit", 0x10000, 5, 3, 30},
        {"method 2, padded rows", 0x20000, 5, 3, 36},  // 12-byte rows
        {"method 3, 8-bit", 0x30010, 5, 3, 15},       {"method 4, 16-bit", 0x40000, 5, 3, 30},
        {"method 8, RGB", 0x80110, 5, 3, 45},         {"method 9, 32-bit", 0x90040, 5, 3, 60},
    };
    for (const Case& k : cases)
        ExpectExactFitOnly(k.name, k.bytes, "axLumora.LoadBuffer", [&](auto& c, const Block& b) {
            return LoadBuffer(c, b.address(), k.width, k.height, k.flags);
        });
}

TEST(ShortBuffer, AFrameStartingInsideABlockCountsFromItsAddress) {
    auto c = NewControl();
    Block block(100);
    EXPECT_EQ(LoadBuffer(c, block.address(60), 20, 1, 0x40000), 1);  // 40 bytes: to the end
    EXPECT_EQ(LoadBuffer(c, block.address(61), 20, 1, 0x40000), -1);
    // Unknown methods read nothing, so nothing is refused.
    EXPECT_EQ(LoadBuffer(c, block.address(99), 100, 100, 0x50000), 1);
}

TEST(ShortBuffer, CropReadsUpToTheLastKeptElement) {
    // 7 × 4 frame, one row and column cut on each side: the last kept element is the 20th
    // of the frame's third row, so (2 × 7 + 6) elements are read.
    ExpectExactFitOnly("16-bit", 40, "TaxLumora.LoadBuffer_Crop", [](auto& c, const Block& b) {
        LONG value = 0;
        BStr name(u"");
        EXPECT_EQ(c->LoadBuffer_Crop(b.address(), name.get(), 7, 4, 1, 1, 1, 1, 0x20000, &value),
                  S_OK);
        return value;
    });
    ExpectExactFitOnly("8-bit", 20, "TaxLumora.LoadBuffer_Crop", [](auto& c, const Block& b) {
        LONG value = 0;
        BStr name(u"");
        EXPECT_EQ(c->LoadBuffer_Crop(b.address(), name.get(), 7, 4, 1, 1, 1, 1, 0x30000, &value),
                  S_OK);
        return value;
    });
}

TEST(ShortBuffer, NormalAndDarkChecksBothFrames) {
    // 4 × 2 packed 12-bit: four groups, the last one unread.
    ExpectExactFitOnly(
        "normal", 9, "axLumora.LoadBuffer_NormalAndDark", [](auto& c, const Block& b) {
            LONG value = 0;
            BStr name(u"");
            EXPECT_EQ(c->LoadBuffer_NormalAndDark(b.address(), 0, name.get(), 4, 2, 0, &value),
                      S_OK);
            return value;
        });
    auto c = NewControl();
    LoadReference(c);
    Block normal(9), dark(8);
    CapturedLog log;
    LONG value = 0;
    BStr name(u"");
    ASSERT_EQ(
        c->LoadBuffer_NormalAndDark(normal.address(), dark.address(), name.get(), 4, 2, 0, &value),
        S_OK);
    EXPECT_EQ(value, -1);
    EXPECT_TRUE(Logged(log, "axLumora.LoadBuffer_NormalAndDark, Dark frame needs 9 bytes"));
    ExpectReferenceKept(c);
}

TEST(ShortBuffer, OptimizeBufferLeavesAShortBufferUntouched) {
    auto c = NewControl();
    Block block(199);
    for (int i = 0; i < 99; ++i) {
        const std::uint16_t v = static_cast<std::uint16_t>(100 + i);
        std::memcpy(block.data() + 2 * i, &v, 2);
    }
    CapturedLog log;
    LONG value = 7;
    ASSERT_EQ(c->OptimizeBuffer(block.address(), 10, 10, 0, 0, 0, 0, &value), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(Logged(log, "axLumora.OptimizeBuffer, Buffer needs 200 bytes"));
    std::uint16_t first = 0;
    std::memcpy(&first, block.data(), 2);
    EXPECT_EQ(first, 100);  // not stretched
    ASSERT_EQ(c->OptimizeBuffer(block.address(), 99, 1, 0, 0, 0, 0, &value), S_OK);
    EXPECT_EQ(value, 1);
    std::memcpy(&first, block.data(), 2);
    EXPECT_EQ(first, 0);
}

TEST(ShortBuffer, PaintTableLongerThanItsBlockIsRefused) {
    auto c = NewControl();
    LoadReference(c);
    Block table(16 * 4);
    CapturedLog log;
    LONG value = 5;
    ASSERT_EQ(c->SetPaintLUT(table.address(), 17, &value), S_OK);
    EXPECT_EQ(value, 5);  // not written, as on the engine's own failures
    EXPECT_TRUE(Logged(log, "axLumora.SetPaintLUT, Table of 17 entries"));
    EXPECT_EQ(Impl(c).CurrentBitmap.LUTLength, 0u);
}
