#!/bin/sh
# Installs, with apt-get, whatever the build, the tests and the benchmarks need and the machine lacks
# (python3-pydicom only for the DICOM sample files it ships, which the tests load; opj_compress
# of libopenjp2-tools writes the JP2 files that tests wrap in DICOM; dicom3tools
# for dciodvfy, which checks the DICOM files we write against their IOD; pngcheck and python3-pil
# read our PNG files independently; the fonts are the faces
# that the burned-in text asks for by their desktop names, or metric-compatible stand-ins;
# pybind11 and NumPy for the Python module, Qt 6 for the windowed form, Xvfb and xdotool to
# drive that window in the tests; clang-format for the formatting check).
# Safe to run again: it only touches packages that are missing.
set -eu

PACKAGES="
build-essential
cmake
pkg-config
googletest
libgtest-dev
libgmock-dev
libbenchmark-dev
clang
libclang-rt-14-dev
libgdcm-dev
libgdcm-tools
libtiff-dev
libjpeg62-turbo-dev
libpng-dev
libopenjp2-7-dev
libopenjp2-tools
libopencv-core-dev
libopencv-imgproc-dev
libcairo2-dev
libfreetype-dev
libfontconfig-dev
fonts-liberation2
fonts-comic-neue
fonts-dejavu-core
dcmtk
libtiff-tools
libjpeg-turbo-progs
pngcheck
python3-pil
python3-pydicom
dicom3tools
pybind11-dev
python3-dev
python3-numpy
python3-pytest
qt6-base-dev
xvfb
xdotool
x11-apps
clang-format
"

missing=""
for pkg in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $pkg"
    fi
done

[ -z "$missing" ] && exit 0

echo "install-deps: installing$missing"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
# shellcheck disable=SC2086
$SUDO apt-get install -y -q --no-install-recommends $missing
