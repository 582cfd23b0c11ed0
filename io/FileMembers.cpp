// Files into and out of the current bitmap: Load (retrying while an acquisition program may still
// be writing the file), SAVE and GetFileInfo, and the 16-bit range check after a load.
#include <string>

#include "engine/Kernel.h"
#include "engine/PixelView.h"
#include "io/FileIo.h"

namespace {
constexpr unsigned kLoadFlags = LOADFILE_ALLOCATE | LOADFILE_STORE | LOADFILE_REPLACE;  // 0x43
constexpr int kMaxRetries = 10;
constexpr int kRetryMilliseconds = 500;
}  // namespace

namespace io {

bool CheckForBadMinMaxVal(TaxLumora& control) {
    bool changed = false;
    try {
        BITMAPHANDLE& bitmap = control.CurrentBitmap;
        if (L_IsGrayScaleBitmap(&bitmap) == GRAY_NO || bitmap.BitsPerPixel != 16) return false;
        int minimum = 0, maximum = 0;
        L_GetMinMaxVal(&bitmap, &minimum, &maximum);
        // Memory order, rows not skipped: Width × Height words from the start.
        const std::uint64_t count = CheckedMul<std::uint64_t>(
            Checked<std::uint32_t>(bitmap.Width), Checked<std::uint32_t>(bitmap.Height));
        engine::PixelView pixels;
        if (engine::AccessPixels(&bitmap, &pixels) != SUCCESS ||
            count * 2 > static_cast<std::uint64_t>(pixels.stride) * pixels.height) {
            throw RangeError();
        }
        auto* samples = reinterpret_cast<std::uint16_t*>(pixels.data);
        for (std::uint64_t i = 0; i < count; ++i) {
            if (samples[i] > maximum) {
                samples[i] = static_cast<std::uint16_t>(maximum);
                changed = true;
            }
            if (samples[i] < minimum) {
                samples[i] = static_cast<std::uint16_t>(minimum);
                changed = true;
            }
        }
    } catch (const std::exception& e) {
        WriteLog(std::string("axLumora.CheckForBadMinMaxVal, exception: ") + e.what());
    }
    return changed;
}

}  // namespace io

HRESULT TaxLumora::Load(BSTR Fn, LONG, LONG, LONG, SHORT* Value) {
    return SafeCall([&] {
        const std::string name = io::EngineFileName(Fn);
        FILEINFO info{};
        int attempt = 0;
        for (;;) {
            if (io::FileExists(name)) {
                LastFileName = Fn ? std::u16string(Fn, SysStringLen(Fn)) : std::u16string();
                WriteLog("axLumora.Load, Begin");
                LoadOptions.Flags |= ELO_NEW_MEMORY;
                int result = L_FileInfo(name.c_str(), &info, FILEINFO_STRUCT_SIZE, 0, nullptr);
                WriteLog("axLumora.Load, nOrder:" + std::to_string(info.Order));
                if (result == SUCCESS) {
                    const int order = info.BitsPerPixel == 8 ? 0 : info.Order;
                    result = L_LoadFile(name.c_str(), &CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE, 0,
                                        order, kLoadFlags, nullptr, nullptr, &LoadOptions, nullptr);
                    if (result == SUCCESS) {
                        WriteLog("axLumora.Load, IsGray:" +
                                 std::to_string(L_IsGrayScaleBitmap(&CurrentBitmap)));
                        if (io::CheckForBadMinMaxVal(*this))
                            WriteLog("axLumora.Load, Bad MinMax Values !");
                        ImageReplaced();
                    } else {
                        WriteLog("axLumora.L_LoadFile() FAILED: " + std::to_string(result));
                    }
                    if (AutoRepaint) RequestRepaint();
                } else {
                    WriteLog("axLumora.L_FileInfo() FAILED: " + std::to_string(result));
                }
                *Value = Checked<SHORT>(result);
                WriteLog("axLumora.Load, Result:" + std::to_string(*Value));
                *Value = EngineStatusToValue16(result);
                WriteLog("axLumora.Load, Result -> :" + std::to_string(*Value));
                WriteLog("axLumora.Load, End");
            } else {
                *Value = -1;
            }
            if (*Value != 0) {
                ++attempt;
                WriteLog("axLumora.Load, File not accessable (Result: " + std::to_string(*Value) +
                         "), retrying #" + std::to_string(attempt) + " after 500ms...");
                io::LoadRetryWait(kRetryMilliseconds);
            }
            if (attempt > kMaxRetries || *Value == 0) break;
        }
    });
}

HRESULT TaxLumora::SAVE(BSTR Name, SHORT iFormat, SHORT iBitsPerPixel, SHORT iQuality, SHORT,
                        SHORT* Value) {
    return SafeCall([&] {
        WriteLog("axLumora.Save, Begin");
        if (!ImagePresent()) return;
        const std::string name = io::EngineFileName(Name);
        const int result =
            L_SaveBitmap(name.c_str(), &CurrentBitmap, iFormat, iBitsPerPixel, iQuality, nullptr);
        *Value = EngineStatusToValue16(result);
        WriteLog("axLumora.Save, End");
    });
}

HRESULT TaxLumora::GetFileInfo(BSTR Fn, LONG, LONG uFlags, TaxLumora_FileInfo* Value) {
    return SafeCall([&] {
        LastFileInfo = TaxLumora_FileInfoPacked{};
        std::string name;
        if (SysStringLen(Fn) > 0) {
            name = io::EngineFileName(Fn);
        } else if (!LastFileName.empty()) {
            name = io::EngineFileName(LastFileName);
        }
        if (!io::FileExists(name)) return;
        FILEINFO info{};
        const int result =
            L_FileInfo(name.c_str(), &info, FILEINFO_STRUCT_SIZE, CheckedUnsigned(uFlags), nullptr);
        if (result == SUCCESS) {
            io::FillPackedInfo(info, &LastFileInfo);
        } else {
            LastFileInfo.SizeMem = -1;
        }
        io::CopyPackedInfo(LastFileInfo, Value);
    });
}
