// What the libraries under the engine say (GDCM, libtiff, libpng, libjpeg, OpenJPEG) goes to the
// engine's report channel, and from there to the control's debug log, never to the host's
// standard error.
#pragma once

#include <string_view>

namespace engine::file {

// Sets the handlers a library keeps process-wide (GDCM's trace streams, libtiff's warning and
// error handlers) to the router. Once per process; later calls do nothing.
void InstallLibraryMessageRouting();

// One message of `library`, as the line "axLumora.<library>, <text>" (line ends dropped, the
// lines of a message joined by spaces). Handlers a codec sets per call end here.
void RouteLibraryMessage(std::string_view library, std::string_view text);

}  // namespace engine::file
