# Install rules: the public headers, the library
# (static, or shared with its versioned soname and symbolic links), the command, a CMake package (find_package(vantril CONFIG)) and a pkg-config file.
include(CMakePackageConfigHelpers)

# The public headers: the entry points and the declaration headers beside them. Nothing under
# src/ is installed.
install(DIRECTORY include/vantril DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        FILES_MATCHING PATTERN "*.hpp")

install(TARGETS vantril_lib EXPORT vantrilTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS vantril RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(vantril_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/vantril)
install(EXPORT vantrilTargets NAMESPACE vantril:: DESTINATION ${vantril_cmake_dir})
configure_package_config_file(cmake/vantrilConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/vantrilConfig.cmake
                              INSTALL_DESTINATION ${vantril_cmake_dir})
# Before 1.0 a minor version may change the interface, so only the same minor version matches.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/vantrilConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/vantrilConfig.cmake
              ${PROJECT_BINARY_DIR}/vantrilConfigVersion.cmake
        DESTINATION ${vantril_cmake_dir})

# The pkg-config file finds its prefix from its own location, so `cmake --install --prefix`
# into any folder gives a working file.
set(vantril_pc_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE "${vantril_pc_dir}")
  set(vantril_pc_prefix "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH vantril_pc_up "/${vantril_pc_dir}" "/")
  string(REGEX REPLACE "/$" "" vantril_pc_up "${vantril_pc_up}")
  set(vantril_pc_prefix "\${pcfiledir}/${vantril_pc_up}")
endif()
# A static library's system libraries are the consumer's to link; a shared one brings its own.
# Consumers of a shared library see VANTRIL_SHARED, as the CMake target gives it them.
set(vantril_pc_system_libs "")
set(vantril_pc_cflags "")
if(BUILD_SHARED_LIBS)
  set(vantril_pc_cflags " -DVANTRIL_SHARED")
elseif(WIN32)
  set(vantril_pc_system_libs " -lntdll")
endif()
# libdeflate or zlib, when the library uses it: a static library's dependencies are the consumer's to
# link, so it is required outright rather than privately.
set(vantril_pc_requires "")
if(vantril_uses_libdeflate)
  set(vantril_pc_requires "Requires: libdeflate\n")
elseif(vantril_uses_zlib)
  set(vantril_pc_requires "Requires: zlib\n")
endif()
configure_file(cmake/vantril.pc.in ${PROJECT_BINARY_DIR}/vantril.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vantril.pc DESTINATION ${vantril_pc_dir})
