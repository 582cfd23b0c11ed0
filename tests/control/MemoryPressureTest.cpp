// The control when the unexpected happens: pixel allocations failing (injected in the engine's
// bitmap storage), its window destroyed under it, its last outside references released.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "control/MemberTable.h"
#include "engine/Kernel.h"
#include "engine/kernel/BitmapStorage.h"
#include "io/FileIo.h"
#include "platform/handles/GlobalMemory.h"
#include "tests/common/TestFiles.h"
#include "tests/control/ControlFixture.h"

namespace {

namespace fs = std::filesystem;

// Pixel allocations fail after `successes` more, for the scope.
class PixelAllocationLimit {
public:
    explicit PixelAllocationLimit(std::int64_t successes) {
        engine::LimitPixelAllocationsForTesting(successes);
    }
    ~PixelAllocationLimit() { engine::LimitPixelAllocationsForTesting(-1); }
};

const fs::path kGoodFile = fs::path(AXLUMORA_TEST_DATA_DIR) / "seeds" / "gray16.png";

std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

SHORT LoadGoodFile(const ComPtr<IaxLumora>& control) {
    BStr name = BStr::FromUtf8(kGoodFile.string());
    SHORT value = -99;
    EXPECT_EQ(control->Load(name.get(), 0, 0, 0, &value), S_OK);
    return value;
}

// A control whose image is consistent: none, or one whose pixels the engine still owns.
void ExpectConsistentImage(const ComPtr<IaxLumora>& control) {
    const BITMAPHANDLE& b = Impl(control).CurrentBitmap;
    if (!b.Addr) return;
    EXPECT_GT(b.Width, 0);
    EXPECT_GT(b.Height, 0);
    EXPECT_GE(static_cast<std::uint64_t>(b.Size),
              static_cast<std::uint64_t>(b.BytesPerLine) * b.Height);
    volatile std::uint8_t last = b.Addr[static_cast<std::size_t>(b.BytesPerLine) * b.Height - 1];
    (void)last;
}

// Invokes a member late-bound with harmless arguments: small numbers, empty names, no
// addresses (an address parameter gets 0), empty variants.
HRESULT InvokeWithPlainArguments(const ComPtr<IaxLumora>& control, const EntryInfo& entry) {
    std::vector<VARIANT> args(static_cast<std::size_t>(entry.paramCount));
    std::vector<VARIANT> refs(args.size());
    for (int i = 0; i < entry.paramCount; ++i) {
        const ParamInfo& p = entry.params[i];
        VARIANT& target = refs[static_cast<std::size_t>(i)];
        VariantInit(&target);
        const VARTYPE vt = static_cast<VARTYPE>(p.vt & ~VT_BYREF);
        target.vt = vt;
        switch (vt) {
            case VT_BSTR: target.bstrVal = SysAllocString(u""); break;
            case VT_I2: target.iVal = 3; break;
            case VT_I4: target.lVal = 3; break;
            case VT_UI4: target.ulVal = 0; break;   // handles and colours
            case VT_UI8: target.ullVal = 0; break;  // addresses and flag words
            case VT_I8: target.llVal = 3; break;
            case VT_R4: target.fltVal = 3; break;
            case VT_R8: target.dblVal = 3; break;
            case VT_BOOL: target.boolVal = VARIANT_FALSE; break;
            default: target.vt = VT_EMPTY; break;
        }
        VARIANT& arg = args[args.size() - 1 - static_cast<std::size_t>(i)];  // last first
        VariantInit(&arg);
        if (p.byRef && target.vt != VT_EMPTY) {
            arg.vt = static_cast<VARTYPE>(target.vt | VT_BYREF);
            arg.byref = &target.iVal;
        } else {
            arg = target;
        }
    }
    DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = control->Invoke(entry.dispid, GUID_NULL, 0, DISPATCH_METHOD, &params,
                                       &result, nullptr, nullptr);
    VariantClear(&result);
    for (VARIANT& v : refs) VariantClear(&v);
    return hr;
}

}  // namespace

// Every method, with the engine unable to allocate after 0, 1 and 2 more images: no crash, the
// image stays consistent, and once memory is back a good file loads.
TEST(MemoryPressure, EveryMethodFailsCleanlyAndTheControlRecovers) {
    NoRetryWaits noWaits;
    for (const std::int64_t successes : {0, 1, 2}) {
        int methods = 0;
        for (const EntryInfo& entry : kIaxLumoraEntries) {
            if (entry.kind != EntryKind::Method) continue;
            SCOPED_TRACE(std::string(entry.member) + " after " + std::to_string(successes) +
                         " allocations");
            auto control = NewControl();
            ASSERT_EQ(LoadGoodFile(control), 0);
            {
                PixelAllocationLimit limit(successes);
                InvokeWithPlainArguments(control, entry);
                ExpectConsistentImage(control);
            }
            EXPECT_EQ(LoadGoodFile(control), 0);
            EXPECT_NE(Impl(control).CurrentBitmap.Addr, nullptr);
            ++methods;
        }
        EXPECT_GT(methods, 50);
    }
}

// The members that make a new image report the failure with their own code.
TEST(MemoryPressure, ImageMakingMembersReportTheirFailureCode) {
    NoRetryWaits noWaits;
    const std::vector<std::uint8_t> file = ReadBytes(kGoodFile);
    auto control = NewControl();
    PixelAllocationLimit limit(0);
    LONG value = -99;

    EXPECT_EQ(control->CreateBitmap(64, 64, 16, ORDER_GRAY, &value), S_OK);
    EXPECT_EQ(value, ERROR_NO_MEMORY);

    EXPECT_EQ(LoadGoodFile(control), ERROR_NO_MEMORY);

    const HGLOBAL block = GlobalAlloc(GHND, file.size());
    std::memcpy(GlobalLock(block), file.data(), file.size());
    GlobalUnlock(block);
    EXPECT_EQ(control->LoadMemory(block, 0, 0, 0, static_cast<LONG>(file.size()), &value), S_OK);
    EXPECT_EQ(value, ERROR_NO_MEMORY);
    GlobalFree(block);

    VARIANT array;
    VariantInit(&array);
    array.vt = VT_ARRAY | VT_UI1;
    array.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(file.size()));
    void* bytes = nullptr;
    SafeArrayAccessData(array.parray, &bytes);
    std::memcpy(bytes, file.data(), file.size());
    SafeArrayUnaccessData(array.parray);
    EXPECT_EQ(control->LoadArray(array, 0, 0, 0, static_cast<LONG>(file.size()), &value), S_OK);
    EXPECT_EQ(value, ERROR_NO_MEMORY);
    VariantClear(&array);

    const std::uint16_t frame[16] = {};
    BStr none(u"");
    EXPECT_EQ(control->LoadBuffer(reinterpret_cast<std::uintptr_t>(frame), none.get(), 4, 4,
                                  0x40000, &value),
              S_OK);
    EXPECT_EQ(value, -1);

    const fs::path raw = testsupport::TempPath("pressure", "frame.raw");
    const std::uint8_t layout1[4 + 8] = {2, 0, 2, 0};
    std::ofstream(raw, std::ios::binary)
        .write(reinterpret_cast<const char*>(layout1), sizeof layout1);
    BStr rawName = BStr::FromUtf8(raw.string());
    EXPECT_EQ(control->LoadFnRAW(rawName.get(), none.get(), 0, 0, 1, &value), S_OK);
    EXPECT_EQ(value, -2);
    fs::remove(raw);
}

// Calls after the control's window was destroyed under it: answered, never a crash.
TEST(ControlLifetime, CallsAfterTheWindowIsGoneAreSafe) {
    NoRetryWaits noWaits;
    auto control = NewControl();
    ASSERT_EQ(LoadGoodFile(control), 0);
    ComPtr<IOleWindow> window;
    ASSERT_EQ(control->QueryInterface(IID_IOleWindow, window.put_void()), S_OK);
    HWND hwnd = nullptr;
    ASSERT_EQ(window->GetWindow(&hwnd), S_OK);
    SendMessage(hwnd, WM_DESTROY, 0, 0);
    for (const EntryInfo& entry : kIaxLumoraEntries) {
        if (entry.kind != EntryKind::Method) continue;
        SCOPED_TRACE(entry.member);
        InvokeWithPlainArguments(control, entry);
        ExpectConsistentImage(control);
    }
    SendMessage(hwnd, WM_PAINT, 0, 0);
    LoadGoodFile(control);
}

// The control's helper objects outlive the control when a host keeps only them.
TEST(ControlLifetime, CallsThroughTheLastReferenceAreSafe) {
    ComPtr<IConnectionPoint> point;
    ComPtr<IOleWindow> window;
    {
        auto control = NewControl();
        ASSERT_EQ(LoadGoodFile(control), 0);
        ComPtr<IConnectionPointContainer> container;
        ASSERT_EQ(control->QueryInterface(IID_IConnectionPointContainer, container.put_void()),
                  S_OK);
        ASSERT_EQ(container->FindConnectionPoint(DIID_IaxLumoraEvents, point.put()), S_OK);
        ASSERT_EQ(control->QueryInterface(IID_IOleWindow, window.put_void()), S_OK);
    }
    // The window interface still holds the control: it answers.
    HWND hwnd = nullptr;
    EXPECT_EQ(window->GetWindow(&hwnd), S_OK);
    ComPtr<IaxLumora> again;
    ASSERT_EQ(window->QueryInterface(IID_IaxLumora, again.put_void()), S_OK);
    window = {};
    EXPECT_EQ(LoadGoodFile(again), 0);
    again = {};
    // Only the connection point is left.
    ComPtr<IConnectionPointContainer> owner;
    point->GetConnectionPointContainer(owner.put());
    IID iid{};
    point->GetConnectionInterface(&iid);
    DWORD cookie = 0;
    point->Unadvise(cookie);
    owner = {};
    point = {};
}
