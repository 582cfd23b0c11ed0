# Installs the build into a scratch prefix, then builds examples/cpp against that prefix alone,
# once through the CMake package and once through pkg-config, and runs it on a DICOM file that
# the installed host writes. Run by ctest:
#   cmake -DBUILD_DIR=... -DEXAMPLE_DIR=... -DCXX=... -DVERSION=... -P InstallExample.cmake
# The scratch folder lies outside the build tree, so that a path into it is never mistaken for one
# into the build; it is removed when everything passed.
foreach(var BUILD_DIR EXAMPLE_DIR CXX VERSION)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "${var} is not set")
    endif()
endforeach()

function(run)
    cmake_parse_arguments(RUN "" "OUTPUT;ERROR" "COMMAND" ${ARGN})
    execute_process(COMMAND ${RUN_COMMAND} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        string(REPLACE ";" " " line "${RUN_COMMAND}")
        message(FATAL_ERROR "${line}\nexit ${rc}\n${out}\n${err}")
    endif()
    if(RUN_OUTPUT)
        set(${RUN_OUTPUT} "${out}" PARENT_SCOPE)
    endif()
    if(RUN_ERROR)
        set(${RUN_ERROR} "${err}" PARENT_SCOPE)
    endif()
endfunction()

set(temp /tmp)
if(DEFINED ENV{TMPDIR} AND IS_DIRECTORY "$ENV{TMPDIR}")
    set(temp $ENV{TMPDIR})
endif()
string(RANDOM LENGTH 8 suffix)
set(WORK_DIR ${temp}/axlumora-install-example-${suffix})
set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
run(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

foreach(path lib/libaxlumora.so.1 lib/libaxplatform.so.1 include/axlumora/axlumora.h
        include/axlumora/cvaxLumora_TLB.h include/axlumora/Version.h lib/cmake/axlumora/axlumoraConfig.cmake
        lib/pkgconfig/axlumora.pc bin/axlumora share/doc/axLumora/README.md)
    if(NOT EXISTS ${prefix}/${path})
        message(FATAL_ERROR "not installed: ${path}")
    endif()
endforeach()
# Nothing of the engine's internals: the public headers include only each other and the
# standard library.
file(GLOB public_headers ${prefix}/include/axlumora/*)
foreach(header ${public_headers})
    file(STRINGS ${header} includes REGEX "^#include \"")
    foreach(include ${includes})
        if(NOT include MATCHES "^#include \"axlumora/")
            message(FATAL_ERROR "${header}: ${include}")
        endif()
    endforeach()
endforeach()

# The installed host loads the installed library, and both tell the one version.
run(COMMAND ${prefix}/bin/axlumora --version OUTPUT version_text)
if(NOT version_text STREQUAL "axlumora ${VERSION}\nlibrary ${VERSION} ${prefix}/lib/libaxlumora.so.1\n")
    message(FATAL_ERROR "axlumora --version said:\n${version_text}")
endif()
run(COMMAND ${prefix}/bin/axlumora demo --out ${WORK_DIR}/demo)

# Reads "wrote FILE: W x H" and "loaded FILE: W x H" from the example's output and checks the PNG.
function(check_example_run output error png)
    if(NOT error STREQUAL "")
        message(FATAL_ERROR "the example wrote to standard error:\n${error}")
    endif()
    if(NOT output MATCHES "loaded [^\n]*: ([0-9]+) x ([0-9]+), 16 bits\n")
        message(FATAL_ERROR "no image loaded:\n${output}")
    endif()
    math(EXPR width "${CMAKE_MATCH_1} / 4")
    math(EXPR height "${CMAKE_MATCH_2} / 4")
    if(NOT output MATCHES "wrote [^\n]*: ${width} x ${height}\n")
        message(FATAL_ERROR "no ${width} x ${height} PNG written:\n${output}")
    endif()
    # Fix16BitData reports the bits it found and the depth; OnDestroy comes at the last release.
    if(NOT output MATCHES "events: OnLog 2, OnDestroy 1; sink references left 0; DllCanUnloadNow yes")
        message(FATAL_ERROR "events or references wrong:\n${output}")
    endif()
    file(READ ${png} header LIMIT 24 HEX)
    string(SUBSTRING "${header}" 0 16 signature)
    string(SUBSTRING "${header}" 32 8 png_width)
    string(SUBSTRING "${header}" 40 8 png_height)
    math(EXPR png_width "0x${png_width}")
    math(EXPR png_height "0x${png_height}")
    if(NOT signature STREQUAL "89504e470d0a1a0a" OR NOT png_width EQUAL width OR NOT png_height EQUAL height)
        message(FATAL_ERROR "${png}: ${signature}, ${png_width} x ${png_height}")
    endif()
endfunction()

# Through the CMake package, with nothing of the source or build tree on any search path.
run(COMMAND ${CMAKE_COMMAND} -S ${EXAMPLE_DIR} -B ${WORK_DIR}/example -DCMAKE_PREFIX_PATH=${prefix}
            -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
run(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/example)
file(READ ${WORK_DIR}/example/CMakeFiles/render_dicom.dir/flags.make flags)
file(READ ${WORK_DIR}/example/CMakeFiles/render_dicom.dir/link.txt link)
foreach(tree ${BUILD_DIR} ${EXAMPLE_DIR}/../..)
    get_filename_component(tree ${tree} REALPATH)
    string(FIND "${flags}${link}" "${tree}/" found)
    if(NOT found EQUAL -1)
        message(FATAL_ERROR "the example's build reaches into ${tree}:\n${flags}\n${link}")
    endif()
endforeach()
run(COMMAND ${WORK_DIR}/example/render_dicom ${WORK_DIR}/demo/demo.dcm ${WORK_DIR}/cmake.png 4000 40000
    OUTPUT out ERROR err)
check_example_run("${out}" "${err}" ${WORK_DIR}/cmake.png)

# Through pkg-config.
find_program(PKG_CONFIG pkg-config)
if(PKG_CONFIG)
    set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
    run(COMMAND ${PKG_CONFIG} --cflags --libs axlumora libpng OUTPUT pc_flags)
    run(COMMAND ${PKG_CONFIG} --variable=libdir axlumora OUTPUT pc_libdir)
    string(STRIP "${pc_flags}" pc_flags)
    string(STRIP "${pc_libdir}" pc_libdir)
    separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
    run(COMMAND ${CXX} ${EXAMPLE_DIR}/render_dicom.cpp ${pc_flags} -Wl,-rpath,${pc_libdir}
                -o ${WORK_DIR}/render_dicom_pc)
    run(COMMAND ${WORK_DIR}/render_dicom_pc ${WORK_DIR}/demo/demo.dcm ${WORK_DIR}/pc.png OUTPUT out ERROR err)
    check_example_run("${out}" "${err}" ${WORK_DIR}/pc.png)
endif()

file(REMOVE_RECURSE ${WORK_DIR})
