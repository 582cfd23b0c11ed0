#include "VariantConversion.h"

#include <cstring>
#include <limits>
#include <string>

#include "control/RecordFields.h"
#include "platform/automation/RecordInfo.h"

namespace axpy {

namespace {

bool IsAddressParameter(const ParamInfo& param) { return VARTYPE(param.vt & ~VT_BYREF) == VT_UI8; }

Variant FromInteger(py::handle value) {
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (overflow == 0) {
        if (number == -1 && PyErr_Occurred()) throw py::error_already_set();
        if (number >= std::numeric_limits<LONG>::min() &&
            number <= std::numeric_limits<LONG>::max())
            return Variant::I4(static_cast<LONG>(number));
        return Variant::I8(number);
    }
    if (overflow > 0) {
        const unsigned long long big = PyLong_AsUnsignedLongLong(value.ptr());
        if (!PyErr_Occurred()) return Variant::UI8(big);
        PyErr_Clear();
    }
    throw py::value_error("integer " + py::str(value).cast<std::string>() +
                          " does not fit 64 bits");
}

Variant ByteArrayCopy(py::handle value) {
    Py_buffer view{};
    if (PyObject_GetBuffer(value.ptr(), &view, PyBUF_C_CONTIGUOUS) != 0)
        throw py::error_already_set();
    struct Release {
        Py_buffer* view;
        ~Release() { PyBuffer_Release(view); }
    } release{&view};
    if (view.len < 0 ||
        static_cast<unsigned long long>(view.len) > std::numeric_limits<LONG>::max())
        throw py::value_error("byte arrays are limited to 2 GiB");
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(view.len));
    if (!array) throw std::bad_alloc();
    Variant out;
    out.vt = VT_ARRAY | VT_UI1;
    out.parray = array;
    if (view.len > 0) {
        SafeArrayAccess access(array);
        if (!access.ok()) throw std::runtime_error("cannot fill a byte array");
        std::memcpy(access.data(), view.buf, static_cast<std::size_t>(view.len));
    }
    return out;
}

// The one record a member takes as input is TaxLumora_Rect (RenderDC's rectangles).
Variant RectFromDict(py::dict fields) {
    ComPtr<IRecordInfo> info;
    if (FAILED(RecordInfo::Create(u"TaxLumora_Rect", GUID_TaxLumora_Rect, sizeof(TaxLumora_Rect),
                                  kRectFields, info.put())))
        throw std::runtime_error("cannot describe TaxLumora_Rect");
    TaxLumora_Rect rect{};
    for (const auto& [key, value] : fields) {
        const std::string name = py::str(key).cast<std::string>();
        const RecordField* field = nullptr;
        for (const RecordField& f : kRectFields)
            if (member_table_detail::EqualsIgnoreCase(WideToUtf8(f.name), name)) field = &f;
        if (!field)
            throw py::key_error("TaxLumora_Rect has no field '" + name +
                                "' (fields: Left, Top, Right, Bottom, bEmpty)");
        Variant v = PyBool_Check(value.ptr())
                        ? Variant::Bool(value.cast<bool>())
                        : FromInteger(py::int_(py::reinterpret_borrow<py::object>(value)));
        const std::u16string canonical(field->name);
        if (FAILED(info->PutField(0, &rect, canonical.c_str(), &v)))
            throw py::value_error("value does not fit field " + name);
    }
    Variant out;
    if (FAILED(VariantFromRecord(info.get(), &rect, &out)))
        throw std::runtime_error("cannot build a TaxLumora_Rect");
    return out;
}

// The control fills TaxLumora_FileInfo packed, without the declared layout's gaps, and copies
// those 38 bytes to the record's start; read in the declared layout, every field after Layers
// would be wrong.
py::dict FileInfoFromPackedRecord(const void* record) {
    TaxLumora_FileInfoPacked packed;
    std::memcpy(&packed, record, sizeof packed);
    py::dict fields;
    fields["SizeDisk"] = packed.SizeDisk;
    fields["SizeMem"] = packed.SizeMem;
    fields["Layers"] = packed.Layers;
    fields["XRes"] = packed.XRes;
    fields["YRes"] = packed.YRes;
    fields["TotalPages"] = packed.TotalPages;
    fields["Page"] = packed.Page;
    fields["Format"] = packed.Format;
    fields["Bits"] = packed.Bits;
    fields["Height"] = packed.Height;
    fields["Width"] = packed.Width;
    return fields;
}

py::dict DictFromRecord(const VARIANT& value) {
    py::dict fields;
    IRecordInfo* info = value.pRecInfo;
    if (!info || !value.pvRecord) return fields;
    GUID guid{};
    ULONG size = 0;
    if (SUCCEEDED(info->GetGuid(&guid)) && guid == GUID_TaxLumora_FileInfo &&
        SUCCEEDED(info->GetSize(&size)) && size >= sizeof(TaxLumora_FileInfoPacked))
        return FileInfoFromPackedRecord(value.pvRecord);
    ULONG count = 0;
    if (FAILED(info->GetFieldNames(&count, nullptr))) return fields;
    std::vector<BSTR> names(count, nullptr);
    if (FAILED(info->GetFieldNames(&count, names.data()))) return fields;
    for (BSTR raw : names) {
        BStr name = BStr::Attach(raw);
        Variant field;
        if (SUCCEEDED(info->GetField(value.pvRecord, name.get(), &field)))
            fields[py::str(name.utf8())] = FromVariant(field);
    }
    return fields;
}

}  // namespace

PinnedBuffer::PinnedBuffer(py::handle object) {
    if (PyObject_GetBuffer(object.ptr(), &view_, PyBUF_C_CONTIGUOUS | PyBUF_WRITABLE) != 0) {
        PyErr_Clear();
        throw py::type_error(
            "an address parameter takes an int or a writable, C-contiguous buffer "
            "(bytearray, numpy array); bytes are read-only");
    }
    region_ = MemoryRegionRegistration(view_.buf, static_cast<std::size_t>(view_.len));
}

PinnedBuffer::~PinnedBuffer() {
    region_ = MemoryRegionRegistration();  // forgotten before the memory may go
    PyBuffer_Release(&view_);
}

Variant ToVariant(py::handle value, const ParamInfo& param, CallResources& resources) {
    PyObject* object = value.ptr();
    if (value.is_none()) return Variant();
    if (PyBool_Check(object)) return Variant::Bool(object == Py_True);
    if (PyLong_Check(object)) return FromInteger(value);
    if (PyFloat_Check(object)) return Variant::R8(PyFloat_AsDouble(object));
    if (PyUnicode_Check(object)) return Variant::String(value.cast<std::string>());
    if (py::isinstance<DispatchRef>(value)) {
        Variant out;
        out.vt = VT_DISPATCH;
        out.pdispVal = value.cast<DispatchRef&>().object.get();
        if (out.pdispVal) out.pdispVal->AddRef();
        return out;
    }
    if (PyDict_Check(object)) return RectFromDict(py::reinterpret_borrow<py::dict>(value));
    if (PyObject_CheckBuffer(object)) {
        if (IsAddressParameter(param)) {
            resources.buffers.push_back(std::make_unique<PinnedBuffer>(value));
            return Variant::UI8(resources.buffers.back()->address());
        }
        return ByteArrayCopy(value);
    }
    throw py::type_error(std::string("cannot pass a ") + Py_TYPE(object)->tp_name + " as " +
                         ParamText(param));
}

Variant ToByRefVariant(py::handle value, const ParamInfo& param, CallResources& resources) {
    const VARTYPE base = VARTYPE(param.vt & ~VT_BYREF);
    Variant natural = ToVariant(value, param, resources);
    resources.slots.push_back(std::make_unique<host::ByRefStorage>());
    Variant out;
    if (!host::MakeByRefArgument(natural, base, *resources.slots.back(), out))
        throw py::value_error(py::repr(value).cast<std::string>() + " does not fit " +
                              ParamText(param));
    return out;
}

py::object FromVariant(const VARIANT& value) {
    const VARIANT* v = &value;
    if (v->vt == (VT_BYREF | VT_VARIANT)) {
        if (!v->pvarVal) return py::none();
        v = v->pvarVal;
    }
    if (v->vt & VT_BYREF) {
        if (!v->byref) return py::none();
        switch (VARTYPE(v->vt & ~VT_BYREF)) {
            case VT_I2: return py::int_(*v->piVal);
            case VT_I4: return py::int_(*v->plVal);
            case VT_UI4: return py::int_(*v->pulVal);
            case VT_I8: return py::int_(*v->pllVal);
            case VT_UI8: return py::int_(*v->pullVal);
            case VT_R4: return py::float_(*v->pfltVal);
            case VT_R8: return py::float_(*v->pdblVal);
            case VT_BOOL: return py::bool_(*v->pboolVal != VARIANT_FALSE);
            case VT_UI1: return py::int_(*v->pbVal);
            default: break;
        }
        throw py::type_error("unsupported by-reference variant type " + std::to_string(v->vt));
    }
    switch (v->vt) {
        case VT_EMPTY:
        case VT_NULL: return py::none();
        case VT_I2: return py::int_(v->iVal);
        case VT_I4: return py::int_(v->lVal);
        case VT_UI1: return py::int_(v->bVal);
        case VT_UI4: return py::int_(v->ulVal);
        case VT_I8: return py::int_(v->llVal);
        case VT_UI8: return py::int_(v->ullVal);
        case VT_R4: return py::float_(v->fltVal);
        case VT_R8: return py::float_(v->dblVal);
        case VT_BOOL: return py::bool_(v->boolVal != VARIANT_FALSE);
        case VT_ERROR: return py::int_(static_cast<unsigned>(v->scode));
        case VT_BSTR: return py::str(BstrToUtf8(v->bstrVal));
        case VT_RECORD: return DictFromRecord(*v);
        case VT_DISPATCH: return py::cast(DispatchRef{ComPtr<IDispatch>(v->pdispVal)});
        case VT_ARRAY | VT_UI1: {
            SAFEARRAY* array = v->parray;
            if (!array || SafeArrayGetDim(array) != 1) return py::bytes();
            LONG lower = 0, upper = -1;
            SafeArrayGetLBound(array, 1, &lower);
            SafeArrayGetUBound(array, 1, &upper);
            const long long count = static_cast<long long>(upper) - lower + 1;
            if (count <= 0) return py::bytes();
            SafeArrayAccess access(array);
            if (!access.ok()) throw std::runtime_error("cannot read a byte array");
            return py::bytes(static_cast<const char*>(access.data()),
                             static_cast<std::size_t>(count));
        }
        default: break;
    }
    throw py::type_error("unsupported variant type " + std::to_string(v->vt));
}

}  // namespace axpy
