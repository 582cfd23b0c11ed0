// Every way a load can fail keeps the image the control held: files, memory blocks, byte arrays,
// DIBs and raw files, each fed hostile input and compared pixel for pixel before and after.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "engine/Kernel.h"
#include "io/FileIo.h"
#include "platform/handles/GlobalMemory.h"
#include "tests/common/TestFiles.h"
#include "tests/control/ControlFixture.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct ImageState {
    int width = 0, height = 0, bits = 0, order = 0;
    Bytes pixels;
    bool operator==(const ImageState&) const = default;
};

ImageState StateOf(const ComPtr<IaxLumora>& control) {
    const BITMAPHANDLE& b = Impl(control).CurrentBitmap;
    ImageState state{b.Width, b.Height, b.BitsPerPixel, b.Order, {}};
    if (b.Addr)
        state.pixels.assign(b.Addr, b.Addr + static_cast<std::size_t>(b.BytesPerLine) * b.Height);
    return state;
}

// A 16-bit grey image no file in these tests holds.
ComPtr<IaxLumora> ControlWithImage() {
    auto control = NewControl();
    LONG value = -99;
    EXPECT_EQ(control->CreateBitmap(23, 17, 16, ORDER_GRAY, &value), S_OK);
    BITMAPHANDLE& b = Impl(control).CurrentBitmap;
    for (int y = 0; y < b.Height; ++y)
        for (int x = 0; x < b.Width; ++x)
            reinterpret_cast<std::uint16_t*>(b.Addr + y * b.BytesPerLine)[x] =
                static_cast<std::uint16_t>(x * 977 + y * 31);
    return control;
}

Bytes ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

const fs::path kData = AXLUMORA_TEST_DATA_DIR;

// Hostile images: garbage, a good file cut short, a good file with its header damaged, and the
// inputs the image fuzzers once found.
std::vector<std::pair<std::string, Bytes>> HostileImages() {
    std::vector<std::pair<std::string, Bytes>> images;
    images.emplace_back("garbage", Bytes(300, 0xA5));
    for (const char* seed :
         {"gray16.png", "gray.dcm", "gray16.tif", "color24.bmp", "gray.jpg", "j2k.dcm"}) {
        Bytes data = ReadBytes(kData / "seeds" / seed);
        images.emplace_back(std::string(seed) + " cut",
                            Bytes(data.begin(), data.begin() + data.size() / 2));
        for (std::size_t i = 8; i < std::min<std::size_t>(data.size(), 64); i += 3) data[i] ^= 0xFF;
        images.emplace_back(std::string(seed) + " damaged", data);
    }
    for (const auto& entry : fs::directory_iterator(kData / "crashes"))
        if (entry.is_regular_file())
            images.emplace_back(entry.path().filename().string(), ReadBytes(entry.path()));
    return images;
}

class ScratchFile {
public:
    explicit ScratchFile(const std::string& name, const Bytes& data = {})
        : path_(testsupport::TempPath("failure", name)) {
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()),
                   static_cast<std::streamsize>(data.size()));
    }
    ~ScratchFile() {
        std::error_code ec;
        fs::remove(path_, ec);
    }
    std::string path() const { return path_.string(); }

private:
    fs::path path_;
};

HGLOBAL BlockOf(const Bytes& data) {
    const HGLOBAL block = GlobalAlloc(GHND, std::max<std::size_t>(data.size(), 1));
    if (!data.empty()) std::memcpy(GlobalLock(block), data.data(), data.size());
    GlobalUnlock(block);
    return block;
}

VARIANT ArrayOf(const Bytes& data, VARTYPE type = VT_UI1) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | type;
    v.parray = SafeArrayCreateVector(type, 0, static_cast<ULONG>(data.size()));
    void* at = nullptr;
    SafeArrayAccessData(v.parray, &at);
    if (!data.empty() && type == VT_UI1) std::memcpy(at, data.data(), data.size());
    SafeArrayUnaccessData(v.parray);
    return v;
}

// Runs `call` on a control holding the reference image; when the call reports a failure the
// image must be as it was. A damaged file that still decodes may replace it; that is no failure.
using Attempt = std::function<bool(const ComPtr<IaxLumora>&)>;  // true: the call failed
int ExpectImageKept(const std::string& what, const Attempt& call) {
    SCOPED_TRACE(what);
    auto control = ControlWithImage();
    const ImageState before = StateOf(control);
    if (!call(control)) return 0;
    EXPECT_TRUE(StateOf(control) == before);
    return 1;
}

}  // namespace

TEST(FailedLoadKeepsTheImage, Load) {
    NoRetryWaits noWaits;
    const auto load = [](const std::string& name) {
        return [name](const ComPtr<IaxLumora>& control) {
            BStr fn = BStr::FromUtf8(name);
            SHORT value = 0;
            EXPECT_EQ(control->Load(fn.get(), 0, 0, 0, &value), S_OK);
            return value != 0;
        };
    };
    int failures = ExpectImageKept("missing file", load("/nonexistent/axlumora/none.png"));
    failures += ExpectImageKept("a folder", load(fs::temp_directory_path().string()));
    failures += ExpectImageKept("an empty file", load(ScratchFile("empty.png").path()));
    const auto hostile = HostileImages();
    for (const auto& [name, data] : hostile) {
        ScratchFile file("hostile" + fs::path(name).extension().string(), data);
        failures += ExpectImageKept(name, load(file.path()));
    }
    EXPECT_GT(failures, static_cast<int>(hostile.size()) / 2);
}

TEST(FailedLoadKeepsTheImage, LoadMemory) {
    const auto loadMemory = [](ULONG handle, LONG size) {
        return [=](const ComPtr<IaxLumora>& control) {
            LONG value = 0;
            control->LoadMemory(handle, 0, 0, 0, size, &value);
            return value != 0;
        };
    };
    EXPECT_EQ(ExpectImageKept("no block", loadMemory(0, 100)), 1);
    EXPECT_EQ(ExpectImageKept("not a handle", loadMemory(0x1234567, 100)), 1);
    const HGLOBAL freed = BlockOf(Bytes(64, 1));
    GlobalFree(freed);
    EXPECT_EQ(ExpectImageKept("a freed block", loadMemory(freed, 64)), 1);
    const Bytes good = ReadBytes(kData / "seeds" / "gray16.png");
    const HGLOBAL block = BlockOf(good);
    EXPECT_EQ(ExpectImageKept("size 0", loadMemory(block, 0)), 1);
    EXPECT_EQ(ExpectImageKept("one byte", loadMemory(block, 1)), 1);
    EXPECT_EQ(ExpectImageKept("size cut", loadMemory(block, static_cast<LONG>(good.size() / 3))),
              1);
    GlobalFree(block);
    for (const auto& [name, data] : HostileImages()) {
        const HGLOBAL hostile = BlockOf(data);
        ExpectImageKept(name, loadMemory(hostile, static_cast<LONG>(data.size())));
        ExpectImageKept(name + ", size past the block",
                        loadMemory(hostile, static_cast<LONG>(data.size() * 4 + 16)));
        GlobalFree(hostile);
    }
}

TEST(FailedLoadKeepsTheImage, LoadArray) {
    const auto loadArray = [](const Bytes& data, LONG size, VARTYPE type = VT_UI1) {
        return [=](const ComPtr<IaxLumora>& control) {
            VARIANT array = ArrayOf(data, type);
            LONG value = 0;
            const HRESULT hr = control->LoadArray(array, 0, 0, 0, size, &value);
            VariantClear(&array);
            return hr != S_OK || value != 0;
        };
    };
    const Bytes good = ReadBytes(kData / "seeds" / "gray16.png");
    int failures = ExpectImageKept("empty array", loadArray({}, 0));
    failures += ExpectImageKept("empty array, size claimed", loadArray({}, 100));
    failures += ExpectImageKept(
        "size past the array",
        loadArray(Bytes(good.begin(), good.begin() + 40), static_cast<LONG>(good.size())));
    failures += ExpectImageKept("negative size", loadArray(good, -1));
    failures += ExpectImageKept("array of integers", loadArray(Bytes(16), 64, VT_I4));
    failures += ExpectImageKept("not an array", [](const ComPtr<IaxLumora>& control) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_I4;
        LONG value = 0;
        return control->LoadArray(v, 0, 0, 0, 10, &value) != S_OK;
    });
    EXPECT_EQ(failures, 6);
    for (const auto& [name, data] : HostileImages())
        ExpectImageKept(name, loadArray(data, static_cast<LONG>(data.size())));
}

TEST(FailedLoadKeepsTheImage, SetDIB) {
    const auto setDib = [](HGLOBAL handle) {
        return [=](const ComPtr<IaxLumora>& control) {
            LONG value = 0;
            control->SetDIB(handle, &value);
            return value != 0;
        };
    };
    EXPECT_EQ(ExpectImageKept("no handle", setDib(0)), 1);
    EXPECT_EQ(ExpectImageKept("not a handle", setDib(0x7654321)), 1);
    const auto dib = [](auto change) {
        BITMAPINFOHEADER header{};
        header.biSize = 40, header.biWidth = 4, header.biHeight = 4, header.biPlanes = 1,
        header.biBitCount = 24;
        Bytes block(40 + 4 * 12 + 16);
        change(header, block);
        std::memcpy(block.data(), &header, sizeof header);
        return BlockOf(block);
    };
    const std::vector<std::pair<const char*, HGLOBAL>> blocks = {
        {"header only", BlockOf(Bytes(20, 0))},
        {"rows past the block",
         dib([](BITMAPINFOHEADER& h, Bytes&) { h.biWidth = 100000, h.biHeight = 100000; })},
        {"zero width", dib([](BITMAPINFOHEADER& h, Bytes&) { h.biWidth = 0; })},
        {"depth 7", dib([](BITMAPINFOHEADER& h, Bytes&) { h.biBitCount = 7; })},
        {"header size past the block",
         dib([](BITMAPINFOHEADER& h, Bytes&) { h.biSize = 0x7FFFFFF0; })},
        {"colour table past the block",
         dib([](BITMAPINFOHEADER& h, Bytes&) { h.biBitCount = 8, h.biClrUsed = 0xFFFFFFF; })},
        {"unknown compression", dib([](BITMAPINFOHEADER& h, Bytes&) { h.biCompression = 99; })},
        {"run-length codes past the block", dib([](BITMAPINFOHEADER& h, Bytes& b) {
             h.biBitCount = 8, h.biCompression = 1, h.biClrUsed = 2;
             std::fill(b.begin() + 48, b.end(), 0xFF);
         })},
    };
    for (const auto& [name, block] : blocks) {
        EXPECT_EQ(ExpectImageKept(name, setDib(block)), 1);
        GlobalFree(block);
    }
}

TEST(FailedLoadKeepsTheImage, RawFileRefusedBeforeTheImageIsReplaced) {
    const auto loadRaw = [](const std::string& in, const std::string& out, LONG width, LONG height,
                            std::uint64_t flags, LONG expected) {
        return [=](const ComPtr<IaxLumora>& control) {
            BStr fnIn = BStr::FromUtf8(in), fnOut = BStr::FromUtf8(out);
            LONG value = 0;
            EXPECT_EQ(control->LoadFnRAW(fnIn.get(), fnOut.get(), width, height, flags, &value),
                      S_OK);
            EXPECT_EQ(value, expected);
            return true;
        };
    };
    Bytes header4{3, 0, 2, 0};
    header4.resize(4 + 12 + 1);  // one byte more than 3 x 2 samples
    ScratchFile mismatched("mismatched.raw", header4);
    Bytes header28(28 + 10, 0);
    header28[16] = 50, header28[24] = 50;
    ScratchFile shortFile("short.raw", header28);
    ScratchFile tiny("tiny.raw", Bytes(3, 0));
    ExpectImageKept("missing input", loadRaw("/nonexistent/frame.raw", "", 0, 0, 0, -3));
    ExpectImageKept("output folder missing",
                    loadRaw(shortFile.path(), "/nonexistent/out.dcm", 0, 0, 0, -4));
    ExpectImageKept(
        "output without a name",
        loadRaw(shortFile.path(), fs::temp_directory_path().string() + "/", 0, 0, 0, -4));
    ExpectImageKept("layout 2", loadRaw(shortFile.path(), "", 0, 0, 2, -1));
    ExpectImageKept("layout 1 size mismatch", loadRaw(mismatched.path(), "", 0, 0, 1, -1));
    ExpectImageKept("layout 0 short", loadRaw(shortFile.path(), "", 0, 0, 0, -2));
    ExpectImageKept("layout 0 shorter than its header", loadRaw(tiny.path(), "", 0, 0, 0, -2));
    ExpectImageKept("layout 1 shorter than its header", loadRaw(tiny.path(), "", 0, 0, 1, -2));
    ExpectImageKept("headerless too wide", loadRaw(shortFile.path(), "", 70000, 1, 255, -2));
    ExpectImageKept("headerless negative", loadRaw(shortFile.path(), "", -1, 1, 255, -2));
    ExpectImageKept("headerless short", loadRaw(shortFile.path(), "", 100, 100, 255, -2));
}

// The raw buffer loaders refuse what they can check before they replace the image.
TEST(FailedLoadKeepsTheImage, RawFrameRefusedBeforeTheImageIsReplaced) {
    const std::uint16_t frame[16] = {};
    const auto address = reinterpret_cast<std::uintptr_t>(frame);
    const auto loadBuffer = [](std::uint64_t at, LONG width, LONG height, std::uint64_t flags) {
        return [=](const ComPtr<IaxLumora>& control) {
            BStr fn(u"");
            LONG value = 0;
            EXPECT_EQ(control->LoadBuffer(at, fn.get(), width, height, flags, &value), S_OK);
            EXPECT_EQ(value, -1);
            return true;
        };
    };
    ExpectImageKept("no frame", loadBuffer(0, 4, 4, 0x10000));
    ExpectImageKept("element width not the method's", loadBuffer(address, 4, 4, 0x30000));
    ExpectImageKept("colour bit without the colour method", loadBuffer(address, 4, 4, 0x10100));
}
