# What `cmake --install` (and `make install PREFIX=...`) puts under the prefix: the two shared
# libraries with their SONAME, the public headers, a CMake package (find_package(axlumora 1.0)
# gives axlumora::axlumora), axlumora.pc for pkg-config, the command-line host and the docs.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set_target_properties(axplatform axlumora PROPERTIES
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
# The installed control finds its platform library beside it, the host both one folder over, so
# the install moves as a whole.
file(RELATIVE_PATH AXLUMORA_BIN_TO_LIB ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
set_target_properties(axlumora PROPERTIES INSTALL_RPATH "$ORIGIN")
set_target_properties(axlumora_host PROPERTIES INSTALL_RPATH "$ORIGIN/${AXLUMORA_BIN_TO_LIB}")
target_compile_definitions(axlumora_script PRIVATE
    AXLUMORA_INSTALLED_LIBRARY="${AXLUMORA_BIN_TO_LIB}/$<TARGET_SONAME_FILE_NAME:axlumora>")

# A host includes <axlumora/...> and needs C++20 (the interface macros use __VA_OPT__); it links
# nothing of what the engine is built on: the object library and the dependencies stay usage
# requirements of the build tree only.
set_property(TARGET axplatform PROPERTY INTERFACE_LINK_LIBRARIES $<BUILD_INTERFACE:axplatform_objects>)
set_property(TARGET axlumora PROPERTY INTERFACE_LINK_LIBRARIES axplatform $<BUILD_INTERFACE:axlumora_deps>)
target_include_directories(axplatform INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_compile_features(axplatform INTERFACE cxx_std_20)

install(TARGETS axplatform axlumora EXPORT axlumoraTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/include/axlumora ${CMAKE_BINARY_DIR}/include/axlumora
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS axlumora_host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The windowed form, which the host's viewer links: a Qt host may load it too.
if(TARGET axlumora_qt)
    set_target_properties(axlumora_qt PROPERTIES
        VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR} INSTALL_RPATH "$ORIGIN")
    install(TARGETS axlumora_qt LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(AXLUMORA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/axlumora)
install(EXPORT axlumoraTargets NAMESPACE axlumora:: DESTINATION ${AXLUMORA_CMAKE_DIR})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/axlumoraConfig.cmake.in
    ${CMAKE_BINARY_DIR}/axlumoraConfig.cmake INSTALL_DESTINATION ${AXLUMORA_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/axlumoraConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/axlumoraConfig.cmake ${CMAKE_BINARY_DIR}/axlumoraConfigVersion.cmake
        DESTINATION ${AXLUMORA_CMAKE_DIR})

# pkg-config: the prefix is found from the file's own place, so `--prefix` at install time works.
file(RELATIVE_PATH AXLUMORA_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" AXLUMORA_PC_TO_PREFIX "${AXLUMORA_PC_TO_PREFIX}")
configure_file(${CMAKE_SOURCE_DIR}/cmake/axlumora.pc.in ${CMAKE_BINARY_DIR}/axlumora.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/axlumora.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
