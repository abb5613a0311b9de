# Install rules: the public headers with the declaration headers they include, the static
# library, the command, a CMake package (find_package(vantril CONFIG)) and a pkg-config file.
include(CMakePackageConfigHelpers)

# The documented entry points, one per module.
install(DIRECTORY include/vantril DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        FILES_MATCHING PATTERN "*.hpp")

# The declaration headers the entry points include, kept in their module folders under
# include/vantril. The list is explicit: platform implementation files, internal helpers and the
# command's own headers stay private. The install test fails if an entry point comes to need a
# header missing here.
set(vantril_installed_headers
    model/bytes.hpp
    model/document.hpp
    model/node_pool.hpp
    model/object.hpp
    model/object_id.hpp
    model/xref_slot.hpp
    runtime/io_error.hpp
    runtime/platform.hpp
    runtime/result.hpp
    writer/buffered_file_writer.hpp
    writer/counting_sink.hpp
    writer/output_file.hpp
    writer/save.hpp
    writer/serializer.hpp
    writer/xref_record.hpp)
foreach(header IN LISTS vantril_installed_headers)
  get_filename_component(module ${header} DIRECTORY)
  install(FILES src/${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vantril/${module})
endforeach()

install(TARGETS vantril_lib EXPORT vantrilTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
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
# The library is static: its system libraries are the consumer's to link.
set(vantril_pc_system_libs "")
if(WIN32)
  set(vantril_pc_system_libs " -lntdll")
endif()
configure_file(cmake/vantril.pc.in ${PROJECT_BINARY_DIR}/vantril.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vantril.pc DESTINATION ${vantril_pc_dir})
