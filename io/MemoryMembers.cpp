// The current bitmap as an image file in a global memory block (SaveMemory, LoadMemory,
// GetMemoryInfo) or in a byte array (SaveArray, LoadArray), and from a packed DIB (SetDIB).
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "engine/Display.h"
#include "engine/Kernel.h"
#include "io/FileIo.h"
#include "platform/handles/MemoryRegions.h"

namespace {

constexpr unsigned kWindowLevelFlags = 1;
constexpr std::uint32_t kBitFields = 3;

// Locks a global memory block for the scope.
class LockedBlock {
public:
    explicit LockedBlock(HGLOBAL handle) : handle_(handle), data_(GlobalLock(handle)) {}
    ~LockedBlock() {
        if (data_) GlobalUnlock(handle_);
    }
    LockedBlock(const LockedBlock&) = delete;
    LockedBlock& operator=(const LockedBlock&) = delete;
    std::uint8_t* data() const { return static_cast<std::uint8_t*>(data_); }
    std::size_t size() const { return data_ ? GlobalSize(handle_) : 0; }

private:
    HGLOBAL handle_;
    void* data_;
};

// The largest byte array an automation array of lower bound 0 can hold.
constexpr std::size_t kMaxArrayBytes = 0x7FFFFFFF;

// Called by the engine when the file does not fit: grows SaveArray's buffer (userData) to the
// file's size, so small images, whose files outgrow two bytes a pixel, come back whole.
int SaveBufferCB(std::size_t requiredSize, std::uint8_t** buffer, std::size_t* bufferSize,
                 void* userData) {
    WriteLog("axLumora.SaveBufferCB, uRequiredSize:" + std::to_string(requiredSize) +
             ", while buffer is only " + std::to_string(*bufferSize));
    auto* storage = static_cast<std::vector<std::uint8_t>*>(userData);
    if (!storage || requiredSize > kMaxArrayBytes) return ERROR_BUFFER_TOO_SMALL;
    try {
        storage->resize(requiredSize);
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }
    *buffer = storage->data();
    *bufferSize = storage->size();
    return SUCCESS;
}

// The byte array a variant holds (directly or by reference); RangeError for anything else.
SAFEARRAY* ArrayOf(const VARIANT& value) {
    if (value.vt == (VT_ARRAY | VT_UI1)) return value.parray;
    if (value.vt == (VT_ARRAY | VT_UI1 | VT_BYREF) && value.pparray) return *value.pparray;
    if ((value.vt & VT_ARRAY) && !(value.vt & VT_BYREF)) return value.parray;
    throw RangeError();
}

}  // namespace

HRESULT TaxLumora::SaveMemory(ULONG* phMem, SHORT iFormat, SHORT iBitsPerPixel, SHORT iQuality,
                              LONG* iSize, LONG* Value) {
    return SafeCall([&] {
        WriteLog("TaxLumora.SaveMemory, Begin.");
        HGLOBAL handle = 0;
        std::uint32_t size = static_cast<std::uint32_t>(*iSize);
        const int result = L_SaveBitmapMemory(&handle, &CurrentBitmap, iFormat, iBitsPerPixel,
                                              iQuality, &size, nullptr);
        *Value = result;
        *phMem = handle;
        if (result == SUCCESS) *iSize = Checked<LONG>(size);
        *Value = EngineStatusToValue(*Value);
        WriteLog("TaxLumora.SaveMemory, End. hMem:$" + HexUpper(handle, 4));
    });
}

HRESULT TaxLumora::LoadMemory(ULONG hMem, SHORT, LONG, LONG, LONG iSize, LONG* Value) {
    return SafeCall([&] {
        WriteLog("TaxLumora.LoadMemory, Begin. hMem:$" + HexUpper(hMem, 4));
        {
            LockedBlock block(hMem);
            // Never read past the block, whatever size the caller claims.
            const std::size_t size = std::min<std::size_t>(CheckedUnsigned(iSize), block.size());
            *Value = L_LoadBitmapMemory(block.data(), &CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE, 0,
                                        ORDER_BGRORGRAY, size, nullptr, nullptr);
        }
        if (CurrentBitmap.HighBit == -1) {
            int lowBit = 0, highBit = 0;
            L_GetMinMaxBits(&CurrentBitmap, &lowBit, &highBit);
            L_WindowLevel(&CurrentBitmap, lowBit, highBit, CurrentBitmap.pLUT,
                          CurrentBitmap.LUTLength, kWindowLevelFlags);
        }
        *Value = EngineStatusToValue(*Value);
        WriteLog("TaxLumora.LoadMemory, End.");
    });
}

HRESULT TaxLumora::GetMemoryInfo(ULONGLONG pBuffer, LONG, LONG iSize, LONG uFlags,
                                 TaxLumora_FileInfo* Value) {
    return SafeCall([&] {
        LastFileInfo = TaxLumora_FileInfoPacked{};
        if (pBuffer == 0) return;
        const unsigned flags = CheckedUnsigned(uFlags);
        std::size_t size = CheckedUnsigned(iSize);
        // A global memory handle is read within its block; anything else is the caller's address.
        std::unique_ptr<LockedBlock> block;
        const void* data = nullptr;
        if (pBuffer <= 0xFFFFFFFFu && GlobalSize(static_cast<HGLOBAL>(pBuffer)) > 0) {
            block = std::make_unique<LockedBlock>(static_cast<HGLOBAL>(pBuffer));
            data = block->data();
            size = std::min(size, block->size());
        } else {
            data = reinterpret_cast<const void*>(static_cast<std::uintptr_t>(pBuffer));
            // Within a known buffer, never read past its end whatever size the caller claims.
            std::uint64_t start = 0;
            std::size_t regionSize = 0;
            if (KnownRegion(pBuffer, &start, &regionSize))
                size = std::min<std::size_t>(size, regionSize - (pBuffer - start));
        }
        FILEINFO info{};
        info.uStructSize = FILEINFO_STRUCT_SIZE;
        const int result =
            L_FileInfoMemory(data, &info, FILEINFO_STRUCT_SIZE, size, flags, nullptr);
        if (result == SUCCESS) {
            io::FillPackedInfo(info, &LastFileInfo);
        } else {
            LastFileInfo.SizeMem = -1;
        }
        io::CopyPackedInfo(LastFileInfo, Value);
    });
}

HRESULT TaxLumora::LoadArray(VARIANT vMem, SHORT, LONG, LONG, LONG iSize, LONG* Value) {
    return SafeCall([&] {
        SAFEARRAY* array = ArrayOf(vMem);
        {
            SafeArrayAccess access(array);
            if (!access.ok()) throw RangeError();
            LONG lower = 0, upper = -1;
            SafeArrayGetLBound(array, 1, &lower);
            SafeArrayGetUBound(array, 1, &upper);
            const std::size_t bytes = static_cast<std::size_t>(std::max<std::int64_t>(
                                          0, std::int64_t{upper} - lower + 1)) *
                                      SafeArrayGetElemsize(array);
            // iSize, not the array's length, is the file's size; it is kept within the array.
            const std::size_t size = std::min<std::size_t>(CheckedUnsigned(iSize), bytes);
            *Value = EngineStatusToValue(
                L_LoadBitmapMemory(access.data(), &CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE, 0,
                                   ORDER_BGRORGRAY, size, nullptr, nullptr));
        }
        RefreshPaintPalette(false);
        if (AutoRepaint) RequestRepaint();
    });
}

HRESULT TaxLumora::SaveArray(SHORT iFormat, SHORT iBitsPerPixel, SHORT iQuality, VARIANT* Value) {
    return SafeCall([&] {
        VariantInit(Value);
        if (iBitsPerPixel != 8) {
            Value->vt = VT_I4;
            Value->lVal = -1;
            return;
        }
        const std::int64_t pixels =
            CheckedMul<std::int64_t>(CurrentBitmap.Width, CurrentBitmap.Height);
        const auto capacity = Checked<ULONG>(CheckedMul<std::int64_t>(2, pixels));
        // The engine writes into a buffer the callback can grow; the array then takes exactly
        // the file.
        std::vector<std::uint8_t> buffer(capacity);
        std::size_t fileSize = 0;
        const int result =
            L_SaveBitmapBuffer(buffer.data(), buffer.size(), &fileSize, &CurrentBitmap, iFormat, 8,
                               iQuality, SaveBufferCB, &buffer, nullptr);
        if (result != SUCCESS) WriteLog("axLumora.SaveArray, Res:" + std::to_string(result));
        SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(fileSize));
        if (!array) throw std::bad_alloc();
        if (fileSize != 0) {
            SafeArrayAccess access(array);
            std::memcpy(access.data(), buffer.data(), fileSize);
        }
        Value->vt = VT_ARRAY | VT_UI1;
        Value->parray = array;
    });
}

HRESULT TaxLumora::SetDIB(OLE_HANDLE hDIB, LONG* Value) {
    return SafeCall([&] {
        {
            LockedBlock block(hDIB);
            const std::uint8_t* base = block.data();
            const std::size_t size = block.size();
            std::size_t offset = size;
            BITMAPINFOHEADER header{};
            if (base && size >= sizeof header) {
                std::memcpy(&header, base, sizeof header);
                std::uint64_t entries;
                if (header.biCompression == kBitFields) entries = 3;
                else if (header.biBitCount > 8) entries = 0;
                else if (header.biClrUsed != 0) entries = header.biClrUsed;
                else entries = std::uint64_t{1} << std::min<unsigned>(header.biBitCount, 32);
                offset = static_cast<std::size_t>(
                    std::min<std::uint64_t>(header.biSize + 4 * entries, size));
            }
            const int result =
                base ? L_ConvertFromDIB(&CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE,
                                        reinterpret_cast<const BITMAPINFOHEADER*>(base), offset,
                                        base + offset, size - offset)
                     : ERROR_INV_PARAMETER;
            *Value = result;
        }
        *Value = EngineStatusToValue(*Value);
        ImageReplaced();
    });
}
