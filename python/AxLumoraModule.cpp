// The Python module axlumora: the control bound late by name, its events as callables, its
// errors as axlumora.Error, and its current image as a NumPy array.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstring>
#include <set>

#include "ControlLibrary.h"
#include "ImageTransfer.h"
#include "LateBoundControl.h"
#include "VariantConversion.h"
#include "platform/handles/GlobalMemory.h"

namespace py = pybind11;
using axpy::LateBoundControl;

namespace {

// The engine's PNG format number; the type library's FILE_TYPES does not list it.
constexpr int kFilePng = 75;

// A memory block SaveMemory handed over: ours to free.
class OwnedGlobalBlock {
public:
    explicit OwnedGlobalBlock(HGLOBAL handle) : handle_(handle) {}
    ~OwnedGlobalBlock() {
        if (handle_) GlobalFree(handle_);
    }
    OwnedGlobalBlock(const OwnedGlobalBlock&) = delete;
    OwnedGlobalBlock& operator=(const OwnedGlobalBlock&) = delete;

    std::vector<std::uint8_t> Bytes(std::size_t size) const {
        const void* data = GlobalLock(handle_);
        if (!data || size > GlobalSize(handle_)) {
            if (data) GlobalUnlock(handle_);
            throw std::runtime_error("SaveMemory handed back an unusable memory block");
        }
        std::vector<std::uint8_t> bytes(static_cast<const std::uint8_t*>(data),
                                        static_cast<const std::uint8_t*>(data) + size);
        GlobalUnlock(handle_);
        return bytes;
    }

private:
    HGLOBAL handle_;
};

void CheckValue(const char* member, const py::object& value) {
    const long long code = value.cast<long long>();
    if (code != 0)
        axpy::RaiseError(member, E_FAIL,
                         "Value " + std::to_string(code) + " (the engine refused the image)");
}

py::object Property(LateBoundControl& control, const char* name) {
    return control.GetAttribute(py::none(), name);
}

// The image as stored, then turned into the displayed orientation. The view perspectives are
// those of the TIFF Orientation tag: 2–4 mirror columns and/or rows, 5–8 also exchange the axes
// (row 0 of memory becomes the left or right column).
py::array Image(LateBoundControl& control) {
    if (Property(control, "BitmapBits").cast<long>() == -1)
        throw py::value_error("the control holds no image");
    // PNG at the image's own depth (bits 0), zlib level 1: lossless for every depth an array holds.
    const py::tuple saved = control.Call("SaveMemory", py::make_tuple(0, kFilePng, 0, 1, 0));
    OwnedGlobalBlock block(saved[1].cast<HGLOBAL>());
    CheckValue("SaveMemory", saved[0]);
    const std::vector<std::uint8_t> file = block.Bytes(saved[2].cast<std::size_t>());
    const axpy::RasterImage raster = axpy::DecodePng(file.data(), file.size());

    std::vector<py::ssize_t> shape{raster.height, raster.width};
    if (raster.channels == 3) shape.push_back(3);
    py::array stored = raster.bitsPerSample == 16 ? py::array(py::dtype::of<std::uint16_t>(), shape)
                                                  : py::array(py::dtype::of<std::uint8_t>(), shape);
    std::memcpy(stored.mutable_data(), raster.samples.data(), raster.samples.size());

    const long perspective = Property(control, "InfoViewPerspective").cast<long>();
    const py::module_ numpy = py::module_::import("numpy");
    py::object shown = stored;
    if (perspective == 3 || perspective == 4 || perspective == 6 || perspective == 7)
        shown = numpy.attr("flip")(shown, 0);
    if (perspective == 2 || perspective == 3 || perspective == 7 || perspective == 8)
        shown = numpy.attr("flip")(shown, 1);
    if (perspective >= 5) shown = numpy.attr("swapaxes")(shown, 0, 1);
    return numpy.attr("ascontiguousarray")(shown);
}

void SetImage(LateBoundControl& control, py::object source, std::optional<int> significantBits) {
    const py::module_ numpy = py::module_::import("numpy");
    py::array array = numpy.attr("ascontiguousarray")(source);
    const py::dtype type = array.dtype();
    const bool bytes = type.kind() == 'u' && type.itemsize() == 1;
    const bool words = type.kind() == 'u' && type.itemsize() == 2;
    const bool grey = array.ndim() == 2 && (bytes || words);
    const bool colour = array.ndim() == 3 && array.shape(2) == 3 && bytes;
    if (!grey && !colour)
        throw py::type_error(
            "set_image takes a uint8 or uint16 array of rows × columns, or a uint8 "
            "array of rows × columns × 3 (RGB); got " +
            py::str(py::object(type)).cast<std::string>() + " of shape " +
            py::str(array.attr("shape")).cast<std::string>());
    if (array.shape(0) < 1 || array.shape(1) < 1 || array.shape(0) > 65535 ||
        array.shape(1) > 65535)
        throw py::value_error("an image has 1 to 65535 rows and columns");

    axpy::RasterImage raster;
    raster.height = static_cast<int>(array.shape(0));
    raster.width = static_cast<int>(array.shape(1));
    raster.channels = colour ? 3 : 1;
    raster.bitsPerSample = words ? 16 : 8;
    raster.significantBits = raster.bitsPerSample;
    if (significantBits) {
        if (!words || *significantBits < 1 || *significantBits > 16)
            throw py::value_error("significant_bits applies to uint16 images and lies in 1 … 16");
        const unsigned long maximum = numpy.attr("max")(array).cast<unsigned long>();
        if (maximum >> *significantBits)
            throw py::value_error("a value of " + std::to_string(maximum) + " needs more than " +
                                  std::to_string(*significantBits) + " bits");
        raster.significantBits = *significantBits;
    }
    const auto* first = static_cast<const std::uint8_t*>(array.data());
    raster.samples.assign(first, first + raster.RowBytes() * raster.height);
    const std::vector<std::uint8_t> file = axpy::EncodePng(raster);
    if (file.size() > 0x7FFFFFFF) throw py::value_error("the image is too large to transfer");
    // LoadArray takes the file as a byte array; its iSize is the file's length.
    const py::object value = control.Call(
        "LoadArray",
        py::make_tuple(py::bytes(reinterpret_cast<const char*>(file.data()), file.size()), 0, 0, 0,
                       static_cast<long>(file.size())));
    CheckValue("LoadArray", value);
}

py::list MemberNames() {
    std::set<std::string> seen;
    py::list names;
    for (const EntryInfo& entry : kIaxLumoraEntries)
        if (seen.insert(entry.member).second) names.append(entry.member);
    return names;
}

}  // namespace

PYBIND11_MODULE(axlumora, m) {
    m.doc() = "The axLumora imaging control, bound late by name through IDispatch.";

    py::object error = py::reinterpret_steal<py::object>(PyErr_NewExceptionWithDoc(
        "axlumora.Error",
        "A member call failed. Attributes: hresult (the HRESULT as an unsigned int), message "
        "(the control's error description), member (the member's name).",
        PyExc_RuntimeError, nullptr));
    m.attr("Error") = error;
    axpy::SetErrorType(error);

    py::class_<axpy::DispatchRef>(
        m, "Dispatch", "An automation object the control handed out; it can be passed back.");

    py::class_<LateBoundControl>(m, "Control", R"(One instance of the control.

Members are reached by name, as in the member table: properties read and written as attributes
(c.BitmapWidth, c.AutoRepaint = True), methods called with their parameters in order
(c.Load("x.dcm", 0, 0, 0)) and returning Value. A method with by-reference parameters takes their
initial values and returns a tuple (Value, out1, …) of Value and their final values in parameter
order: c.SaveMemory(0, 75, 0, 1, 0) -> (Value, phMem, iSize). Byte arrays are bytes; records are
dicts (TaxLumora_FileInfo read in the packed layout the control fills); a 64-bit address parameter
also takes a writable buffer (bytearray, numpy array), whose address is passed. Events
are set as callables: c.OnLog = fn or c.on("OnLog", fn); a handler's int answer is written back to a
by-reference event argument (OnKeyPress's Key). A failing member raises axlumora.Error.)")
        .def(py::init<>())
        .def("__getattr__",
             [](py::object self, const std::string& name) {
                 return self.cast<LateBoundControl&>().GetAttribute(self, name);
             })
        .def("__setattr__",
             [](py::object self, py::str name, py::object value) {
                 if (!self.cast<LateBoundControl&>().SetAttribute(name.cast<std::string>(), value))
                     throw py::attribute_error("axlumora.Control has no member '" +
                                               name.cast<std::string>() + "'");
             })
        .def("__dir__",
             [](py::object self) {
                 py::list names = MemberNames();
                 for (const EventInfo& event : kIaxLumoraEvents) names.append(event.name);
                 for (py::handle own : py::type::of(self).attr("__dict__").attr("keys")())
                     names.append(own);
                 return names;
             })
        .def("on", &LateBoundControl::On, py::arg("event"), py::arg("handler"),
             "Sets the handler of an event (None removes it); returns the one it replaces.")
        .def("image", &Image,
             "The current image as a new array, as it is displayed (view perspective applied): "
             "rows × columns of uint8 (8-bit grey) or uint16 (12/16-bit grey), or rows × columns × "
             "3 "
             "of uint8 (colour, RGB).")
        .def(
            "set_image", &SetImage, py::arg("array"), py::kw_only(),
            py::arg("significant_bits") = py::none(),
            "Makes an array the current image, pixel for pixel: uint8 rows × columns (8-bit grey), "
            "uint16 (16-bit grey; significant_bits=12 records a 12-bit image) or uint8 rows × "
            "columns "
            "× 3 (RGB). Goes through LoadArray, which refreshes the palette but not the display "
            "rectangles: call ForceRepaint to show an image of another size.")
        .def("close", &LateBoundControl::Close,
             "Releases the control now (its OnDestroy handler runs). Further calls raise.")
        .def_property_readonly("closed", &LateBoundControl::closed)
        .def("__enter__", [](py::object self) { return self; })
        .def("__exit__", [](LateBoundControl& control, py::args) {
            control.Close();
            return false;
        });

    m.def("members", &MemberNames,
          "The names of the control's members, in the member table's order.");
    m.def(
        "events",
        [] {
            py::list names;
            for (const EventInfo& event : kIaxLumoraEvents) names.append(event.name);
            return names;
        },
        "The names of the control's events.");
    m.def("library_path", &axpy::ResolveControlLibrary,
          "The control library this module loads (AXLUMORA_LIBRARY overrides it).");
}
