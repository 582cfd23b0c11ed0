// Image tags: GetTag reads a comment of the last loaded file; SetTag sets a pending comment that
// later saves write.
#include <cstring>
#include <vector>

#include "io/FileIo.h"

HRESULT TaxLumora::GetTag(LONG TagIndex, VARIANT* Value) {
    return SafeCall([&] {
        VariantInit(Value);
        const int index = static_cast<int>(CheckedUnsigned(TagIndex));
        const std::string name = io::EngineFileName(LastFileName);
        const int size = L_ReadFileComment(name.c_str(), index, nullptr, 0, nullptr);
        std::string text;
        if (size > 0) {
            std::vector<std::uint8_t> buffer(static_cast<std::size_t>(size));
            if (L_ReadFileComment(name.c_str(), index, buffer.data(), static_cast<unsigned>(size),
                                  nullptr) > 0)
                text.assign(reinterpret_cast<const char*>(buffer.data()),
                            strnlen(reinterpret_cast<const char*>(buffer.data()), buffer.size()));
        }
        Value->vt = VT_BSTR;
        Value->bstrVal = Utf8ToBstr(text);
    });
}

HRESULT TaxLumora::SetTag(LONG TagIndex, VARIANT Value, LONG* Value1) {
    return SafeCall([&] {
        try {
            const int index = static_cast<int>(CheckedUnsigned(TagIndex));
            Variant converted;
            const HRESULT hr = VariantChangeType(&converted, &Value, 0, VT_BSTR);
            if (FAILED(hr)) throw ComError(hr, "Invalid variant type conversion");
            const std::string text = BstrToUtf8(converted.bstrVal);
            std::vector<std::uint8_t> buffer(text.size() + 1, 0);
            std::memcpy(buffer.data(), text.data(), text.size());
            const int result =
                L_SetComment(index, buffer.data(), static_cast<unsigned>(buffer.size()));
            *Value1 = result >= 0 ? 1 : 0;
        } catch (const std::exception&) {
            *Value1 = -1;
        }
    });
}
