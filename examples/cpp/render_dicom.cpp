// render_dicom: a C++ host of the axLumora control. Creates the control through its class
// factory, binds early through the IaxLumora vtable, sinks IaxLumoraEvents through the connection
// point, loads a DICOM file, windows it, paints it into a memory device context at a quarter of
// its size and writes that as a PNG.
//
//   render_dicom INPUT.dcm OUTPUT.png [LOW HIGH]     (the window; else the whole range)
#include <axlumora/axlumora.h>
#include <png.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The host's event sink. It lives on the stack: the control holds references while connected,
// and the count shows that it gave them all back.
class EventSink final : public IDispatch {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID_IaxLumoraEvents) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params,
                                     VARIANT*, EXCEPINFO*, UINT*) override {
        if (dispid == DISPID_OnLog && params && params->cArgs == 1 &&
            params->rgvarg[0].vt == VT_BSTR) {
            ++logEvents;
            std::printf("event OnLog: %s\n", BstrToUtf8(params->rgvarg[0].bstrVal).c_str());
        } else if (dispid == DISPID_OnDestroy) {
            ++destroyEvents;
            std::printf("event OnDestroy\n");
        }
        return S_OK;
    }

    ULONG references() const { return references_; }
    int logEvents = 0;
    int destroyEvents = 0;

private:
    ULONG references_ = 0;
};

bool Check(HRESULT hr, const char* what) {
    if (SUCCEEDED(hr)) return true;
    std::fprintf(stderr, "render_dicom: %s failed: 0x%08X\n", what, static_cast<unsigned>(hr));
    return false;
}

bool CheckValue(HRESULT hr, long value, const char* member) {
    if (!Check(hr, member)) return false;
    if (value == 0) return true;
    std::fprintf(stderr, "render_dicom: %s -> %ld\n", member, value);
    return false;
}

// The memory context's pixels as 8-bit RGB rows, written by libpng's simplified interface.
bool WritePng(HDC dc, int width, int height, const char* path) {
    std::vector<png_byte> rgb(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const COLORREF c = GetPixel(dc, x, y);
            png_byte* out = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            out[0] = GetRValue(c);
            out[1] = GetGValue(c);
            out[2] = GetBValue(c);
        }
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&image, path, 0, rgb.data(), width * 3, nullptr)) {
        std::fprintf(stderr, "render_dicom: cannot write %s: %s\n", path, image.message);
        return false;
    }
    return true;
}

TaxLumora_Rect Whole(int width, int height) { return {0, 0, width, height, VARIANT_FALSE, 0}; }

struct Window {
    long low;
    long high;
};

int Run(const char* input, const char* output, const Window* window, EventSink& sink) {
    // The class factory and the control, bound early: IaxLumora is the vtable.
    ComPtr<IClassFactory> factory;
    if (!Check(DllGetClassObject(CLASS_axLumora, IID_IClassFactory, factory.put_void()),
               "DllGetClassObject"))
        return 1;
    ComPtr<IaxLumora> control;
    if (!Check(factory->CreateInstance(nullptr, IID_IaxLumora, control.put_void()),
               "CreateInstance"))
        return 1;
    factory.reset();

    // The event sink, through the connection point of IaxLumoraEvents. The control releases it
    // when it is destroyed (after OnDestroy).
    DWORD cookie = 0;
    {
        ComPtr<IConnectionPointContainer> container;
        ComPtr<IConnectionPoint> point;
        if (!Check(control->QueryInterface(IID_IConnectionPointContainer, container.put_void()),
                   "QueryInterface") ||
            !Check(container->FindConnectionPoint(DIID_IaxLumoraEvents, point.put()),
                   "FindConnectionPoint") ||
            !Check(point->Advise(&sink, &cookie), "Advise"))
            return 1;
    }

    BStr file = BStr::FromUtf8(input);
    SHORT loaded = 0;
    if (!CheckValue(control->Load(file.get(), 0, 0, 0, &loaded), loaded, "Load")) return 1;
    FLOAT width = 0, height = 0;
    LONG bits = 0;
    if (!Check(control->get_BitmapWidth(&width), "BitmapWidth") ||
        !Check(control->get_BitmapHeight(&height), "BitmapHeight") ||
        !Check(control->get_BitmapBits(&bits), "BitmapBits"))
        return 1;
    std::printf("loaded %s: %d x %d, %d bits\n", input, static_cast<int>(width),
                static_cast<int>(height), static_cast<int>(bits));

    // Windowing, for painting: the sensor data moved to the top bits (16-bit images; the control
    // reports the bits it found as OnLog events), then a paint look-up table over every level
    // that maps the window [low, high] onto black to white. The control keeps a copy of it.
    LONG fixed = 0;
    if (bits == 16 && !CheckValue(control->Fix16BitData(0, &fixed), fixed, "Fix16BitData"))
        return 1;
    const long levels = bits == 16 ? 65536 : 256;
    const long low = window ? window->low : 0;
    const long high = window ? window->high : levels - 1;
    std::vector<std::uint32_t> table(static_cast<std::size_t>(levels));  // bytes B, G, R, 0
    for (long level = 0; level < levels; ++level) {
        const long grey = level <= low    ? 0
                          : level >= high ? 255
                                          : (level - low) * 255 / (high - low);
        table[static_cast<std::size_t>(level)] = static_cast<std::uint32_t>(grey * 0x010101);
    }
    LONG unused = 0;
    if (!Check(control->SetPaintLUT(reinterpret_cast<ULONGLONG>(table.data()), levels, &unused),
               "SetPaintLUT"))
        return 1;
    std::printf("window %ld to %ld of %ld levels\n", low, high, levels);

    // Paint at a quarter of the size into a memory device context of the platform.
    const int outWidth = std::max(1, static_cast<int>(width) / 4);
    const int outHeight = std::max(1, static_cast<int>(height) / 4);
    const std::uint32_t dc = CreateMemoryDC(outWidth, outHeight);
    if (!dc) {
        std::fprintf(stderr, "render_dicom: CreateMemoryDC(%d, %d) failed\n", outWidth, outHeight);
        return 1;
    }
    LONG painted = 0;
    const TaxLumora_Rect none{0, 0, 0, 0, VARIANT_TRUE, 0};
    const bool ok = CheckValue(control->RenderDC(dc, none, none, Whole(outWidth, outHeight), none,
                                                 SRCCOPY, 0, &painted),
                               painted, "RenderDC") &&
                    WritePng(DeviceContextFromHandle(dc), outWidth, outHeight, output);
    DeleteMemoryDC(dc);
    if (!ok) return 1;
    std::printf("wrote %s: %d x %d\n", output, outWidth, outHeight);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 5) {
        std::fprintf(stderr, "usage: render_dicom INPUT.dcm OUTPUT.png [LOW HIGH]\n");
        return 2;
    }
    Window window{};
    if (argc == 5) {
        window = {std::strtol(argv[3], nullptr, 10), std::strtol(argv[4], nullptr, 10)};
        if (window.low < 0 || window.high <= window.low) {
            std::fprintf(stderr, "render_dicom: the window needs 0 <= LOW < HIGH\n");
            return 2;
        }
    }
    std::printf("axLumora %s (headers %s)\n", AxLumoraVersion(), AXLUMORA_VERSION_STRING);
    EventSink sink;
    const int result = Run(argv[1], argv[2], argc == 5 ? &window : nullptr,
                           sink);  // every reference of Run is gone on return
    std::printf("events: OnLog %d, OnDestroy %d; sink references left %u; DllCanUnloadNow %s\n",
                sink.logEvents, sink.destroyEvents, static_cast<unsigned>(sink.references()),
                DllCanUnloadNow() == S_OK ? "yes" : "no");
    return result != 0 ? result : (sink.references() == 0 && DllCanUnloadNow() == S_OK ? 0 : 1);
}
