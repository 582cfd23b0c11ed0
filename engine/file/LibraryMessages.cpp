// The router of library messages. Libraries that take a handler per call (libpng, libjpeg,
// OpenJPEG) are given one by their codecs; the rest are set up here, once.
#include "engine/file/LibraryMessages.h"

#include <dlfcn.h>
#include <gdcmTrace.h>
#include <jpeglib.h>
#include <tiffio.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <iostream>
#include <streambuf>
#include <string>

#include "engine/Diagnostics.h"

namespace engine::file {

void RouteLibraryMessage(std::string_view library, std::string_view text) {
    std::string line = "axLumora.";
    line += library;
    line += ",";
    const std::size_t prefix = line.size();
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view part = text.substr(start, end - start);
        while (!part.empty() && (part.back() == '\r' || part.back() == ' ')) part.remove_suffix(1);
        if (!part.empty()) (line += ' ') += part;
        start = end + 1;
    }
    if (line.size() > prefix) ReportDiagnostic(line);
}

namespace {

// GDCM's trace macros write a message whole, then std::endl: one flush is one message. The text
// gathers per thread, so messages of concurrent decodes do not mix.
class TraceBuffer final : public std::streambuf {
protected:
    int_type overflow(int_type c) override {
        if (!traits_type::eq_int_type(c, traits_type::eof()))
            Pending().push_back(traits_type::to_char_type(c));
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        Pending().append(text, static_cast<std::size_t>(count));
        return count;
    }
    int sync() override {
        std::string& pending = Pending();
        if (!pending.empty()) RouteLibraryMessage("GDCM", pending);
        pending.clear();
        return 0;
    }

private:
    static std::string& Pending() {
        thread_local std::string pending;
        return pending;
    }
};

void RouteTiffMessage(const char* module, const char* format, va_list args) {
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    RouteLibraryMessage("libtiff",
                        module && *module ? std::string(module) + ": " + text : std::string(text));
}
void TiffWarning(const char* module, const char* format, va_list args) {
    RouteTiffMessage(module, format, args);
}
void TiffError(const char* module, const char* format, va_list args) {
    RouteTiffMessage(module, format, args);
}

// Installed for the life of the module. On unloading, the libraries get back what they had, since
// another user may keep them loaded after this module's code is gone.
class Routing {
public:
    Routing() {
        gdcm::Trace::SetStream(stream_);
        previousWarning_ = TIFFSetWarningHandler(TiffWarning);
        previousError_ = TIFFSetErrorHandler(TiffError);
    }
    ~Routing() {
        gdcm::Trace::SetStream(std::cerr);
        TIFFSetWarningHandler(previousWarning_);
        TIFFSetErrorHandler(previousError_);
    }
    Routing(const Routing&) = delete;
    Routing& operator=(const Routing&) = delete;

private:
    TraceBuffer buffer_;
    std::ostream stream_{&buffer_};
    TIFFErrorHandler previousWarning_ = nullptr;
    TIFFErrorHandler previousError_ = nullptr;
};

// The module routes from the moment it is loaded; codecs call the installer too, so that a program
// linking the engine statically gets the same.
const bool g_routingAtLoad = (InstallLibraryMessageRouting(), true);

}  // namespace

void InstallLibraryMessageRouting() { static Routing routing; }

}  // namespace engine::file

// GDCM decodes JPEG with builds of the IJG library of its own (8, 12 and 16 bits a sample). It
// sets their error managers up with jpeg_std_error, out of any caller's reach, and its error exit
// prints through output_message, which writes to standard error: probing a 12-bit stream with the
// 8-bit build prints "Unsupported JPEG data precision 12" before GDCM retries with the 12-bit
// one. Defining those builds' jpeg_std_error here puts this definition ahead of theirs in the
// lookup order (a module precedes its dependencies); it calls theirs, then points
// output_message at the router. The error manager's layout is the IJG one that every libjpeg
// keeps, so <jpeglib.h> describes theirs too.
namespace {

using StdErrorFn = jpeg_error_mgr* (*)(jpeg_error_mgr*);

void RouteGdcmJpegMessage(j_common_ptr info) {
    char text[JMSG_LENGTH_MAX] = {};
    info->err->format_message(info, text);
    engine::file::RouteLibraryMessage("GDCM", text);
}

jpeg_error_mgr* RoutedStdError(const char* symbol, std::atomic<StdErrorFn>& next,
                               jpeg_error_mgr* err) {
    StdErrorFn real = next.load(std::memory_order_acquire);
    if (!real) {
        real = reinterpret_cast<StdErrorFn>(dlsym(RTLD_NEXT, symbol));
        // Only GDCM calls these, so its definition is loaded; the system libjpeg's shares the
        // layout.
        if (!real) real = jpeg_std_error;
        next.store(real, std::memory_order_release);
    }
    real(err);
    err->output_message = RouteGdcmJpegMessage;
    return err;
}

std::atomic<StdErrorFn> g_jpeg8{nullptr};
std::atomic<StdErrorFn> g_jpeg12{nullptr};
std::atomic<StdErrorFn> g_jpeg16{nullptr};

}  // namespace

extern "C" {
jpeg_error_mgr* gdcmjpeg8_jpeg_std_error(jpeg_error_mgr* err) {
    return RoutedStdError("gdcmjpeg8_jpeg_std_error", g_jpeg8, err);
}
jpeg_error_mgr* gdcmjpeg12_jpeg_std_error(jpeg_error_mgr* err) {
    return RoutedStdError("gdcmjpeg12_jpeg_std_error", g_jpeg12, err);
}
jpeg_error_mgr* gdcmjpeg16_jpeg_std_error(jpeg_error_mgr* err) {
    return RoutedStdError("gdcmjpeg16_jpeg_std_error", g_jpeg16, err);
}
}
