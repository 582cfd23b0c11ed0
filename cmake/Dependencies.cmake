# The libraries the engine is built on, gathered in one interface target. scripts/install-deps.sh
# installs every one of them.
find_package(GDCM REQUIRED CONFIG)
find_package(TIFF REQUIRED)
find_package(JPEG REQUIRED)
find_package(PNG REQUIRED)
find_package(ZLIB REQUIRED)  # Deflated DICOM data sets

# Debian's OpenCV core and imgproc packages ship no CMake configuration: find them directly.
find_path(OPENCV_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4 REQUIRED)
find_library(OPENCV_CORE_LIBRARY opencv_core REQUIRED)
find_library(OPENCV_IMGPROC_LIBRARY opencv_imgproc REQUIRED)

# OpenJPEG (GDCM's JPEG 2000 back end) codes our JPEG 2000 frames directly.
find_path(OPENJPEG_INCLUDE_DIR openjpeg.h PATH_SUFFIXES openjpeg-2.5 REQUIRED)
find_library(OPENJPEG_LIBRARY openjp2 REQUIRED)

# Drawing and text: Cairo rasterises, fontconfig finds faces, FreeType reads them. The platform's
# drawing layer uses them, so they form a target of their own that both libraries link.
find_package(PkgConfig REQUIRED)
pkg_check_modules(AXDRAW REQUIRED IMPORTED_TARGET cairo fontconfig freetype2)
add_library(axdraw_deps INTERFACE)
target_link_libraries(axdraw_deps INTERFACE PkgConfig::AXDRAW)

add_library(axlumora_deps INTERFACE)
target_include_directories(axlumora_deps SYSTEM INTERFACE ${GDCM_INCLUDE_DIRS} ${OPENCV_INCLUDE_DIR}
                           ${OPENJPEG_INCLUDE_DIR})
target_link_libraries(axlumora_deps INTERFACE
    gdcmMSFF gdcmDSED gdcmDICT gdcmCommon
    TIFF::TIFF JPEG::JPEG PNG::PNG ZLIB::ZLIB ${OPENJPEG_LIBRARY}
    ${OPENCV_IMGPROC_LIBRARY} ${OPENCV_CORE_LIBRARY} axdraw_deps)
