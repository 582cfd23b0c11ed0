// AnnRealize: the annotations of a presentation-state file burned into the current bitmap.
#include <climits>
#include <filesystem>
#include <string>
#include <system_error>

#include "control/cvaxLumoraMain.h"
#include "engine/Annotation.h"
#include "engine/Kernel.h"
#include "engine/Processing.h"

namespace {

// The platform's path length; a longer name names no file.
constexpr std::size_t kMaxPath = PATH_MAX;

bool FileExists(const std::string& name) {
    if (name.empty() || name.size() >= kMaxPath) return false;
    std::error_code error;
    return std::filesystem::is_regular_file(std::filesystem::u8path(name), error);
}

}  // namespace

HRESULT TaxLumora::AnnRealize(BSTR Fn, VARIANT_BOOL bKeepGrayscale, ULONGLONG /*uFlags*/,
                              LONG* Value) {
    return SafeCall([&] {
        // Annotations are drawn in colour or in 8-bit grey, whatever the file says.
        if (CurrentBitmap.BitsPerPixel == 12 || CurrentBitmap.BitsPerPixel == 16) {
            if (FromVariantBool(bKeepGrayscale)) {
                L_GrayScaleBitmap(&CurrentBitmap, 8);
            } else {
                const int status =
                    L_ColorResBitmap(&CurrentBitmap, &CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE, 24,
                                     COLORRES_BYTEORDER_BGR, nullptr, nullptr, 0, nullptr, nullptr);
                if (status != SUCCESS)
                    WriteLog("axLumora.AnnRealize, L_ColorResBitmap:" + std::to_string(status));
            }
        }
        const std::string name = BstrToUtf8(Fn);
        if (!FileExists(name)) {
            *Value = -2;
            WriteLog("axLumora.AnnRealize, Fn {" + name + "} does not exists!");
            return;
        }
        try {
            ScopedAnnContainer container;
            const int loaded = L_AnnLoad(name.c_str(), container.put(), nullptr);
            if (loaded != SUCCESS) {
                WriteLog("axLumora.AnnRealize, L_AnnLoad:" + std::to_string(loaded));
            } else {
                ANNNAMEOPTIONS options{};
                options.uStructSize = sizeof options;
                options.uFlags = ANNNAMEOPT_SHOW;
                options.bShowName = 0;
                const int named = L_AnnSetNameOptions(container.get(), &options, ANNFLAG_RECURSE);
                if (named != SUCCESS)
                    WriteLog("axLumora.AnnRealize, L_AnnSetNameOptions:" + std::to_string(named));
                const int realised = L_AnnRealize(&CurrentBitmap, nullptr, container.get(), 0);
                if (realised != SUCCESS)
                    WriteLog("axLumora.AnnRealize, L_AnnRealize:" + std::to_string(realised));
            }
            *Value = 0;
        } catch (const std::exception& e) {
            *Value = -1;
            WriteLog(std::string("axLumora.AnnRealize, Exception:") + e.what());
        } catch (...) {
            *Value = -1;
            WriteLog("axLumora.AnnRealize, Exception:Unexpected error");
        }
    });
}
