# Installs vantril into a fresh prefix and uses it as a stranger would: the installed command
# must write the golden clean.pdf; only public headers may be installed, with no test seam or
# process-ending internal in them; the examples must build against the installed tree alone, once
# through find_package and once through pkg-config, and write files qpdf accepts; and a consumer
# whose own include path holds model/object.hpp and runtime/result.hpp must build both ways too.
# A shared build (SHARED true) is checked for its soname, its exports, and consumers that load
# the installed library while the command does not.
#
# cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK=... -DGENERATOR=... -DMAKE_PROGRAM=... -DCXX=...
#       -DCXX_FLAGS=... -DLINKER_FLAGS=... -DCMAKE_INSTALL_INCLUDEDIR=... -DCMAKE_INSTALL_LIBDIR=...
#       -DCMAKE_INSTALL_BINDIR=... -DSHARED=... -DVERSION=... -DSOVERSION=... -P consumer_check.cmake

function(run)
  cmake_parse_arguments(RUN "" "WORKING_DIRECTORY" "COMMAND" ${ARGN})
  if(NOT RUN_WORKING_DIRECTORY)
    set(RUN_WORKING_DIRECTORY ${WORK})
  endif()
  execute_process(COMMAND ${RUN_COMMAND} WORKING_DIRECTORY ${RUN_WORKING_DIRECTORY}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    string(JOIN " " shown ${RUN_COMMAND})
    message(FATAL_ERROR "failed (${status}): ${shown}\n${out}")
  endif()
endfunction()

function(expect_qpdf_accepts file)
  execute_process(COMMAND qpdf --check ${file} RESULT_VARIABLE status OUTPUT_VARIABLE out
                  ERROR_VARIABLE out)
  # 0 is "no errors or warnings"; 3 would be warnings, 2 errors.
  if(NOT status EQUAL 0 OR NOT out MATCHES "No syntax or stream encoding errors found")
    message(FATAL_ERROR "qpdf --check ${file} gave ${status}:\n${out}")
  endif()
endfunction()

function(check_example_output directory)
  expect_qpdf_accepts(${directory}/report.pdf)
  execute_process(COMMAND qpdf --show-npages ${directory}/report.pdf OUTPUT_VARIABLE pages
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT pages STREQUAL "3")
    message(FATAL_ERROR "report.pdf has ${pages} pages, not 3")
  endif()
  foreach(name two_pages_stream.pdf two_pages_table.pdf)
    expect_qpdf_accepts(${directory}/${name})
    # Two pages, each with its own content and the one shared font.
    execute_process(COMMAND qpdf --show-npages ${directory}/${name} OUTPUT_VARIABLE pages
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT pages STREQUAL "2")
      message(FATAL_ERROR "${name} has ${pages} pages, not 2")
    endif()
  endforeach()
  # The streaming writer's example: a thousand pages, written one at a time.
  expect_qpdf_accepts(${directory}/streamed_pages.pdf)
  execute_process(COMMAND qpdf --show-npages ${directory}/streamed_pages.pdf OUTPUT_VARIABLE pages
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT pages STREQUAL "1000")
    message(FATAL_ERROR "streamed_pages.pdf has ${pages} pages, not 1000")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/run ${WORK}/out-cmake ${WORK}/out-make ${WORK}/make-build)
set(prefix ${WORK}/prefix)
set(libdir ${prefix}/${CMAKE_INSTALL_LIBDIR})

run(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

if(SHARED)
  set(library ${CMAKE_INSTALL_LIBDIR}/libvantril.so.${VERSION})
  set(soname libvantril.so.${SOVERSION})
else()
  set(library ${CMAKE_INSTALL_LIBDIR}/libvantril.a)
endif()
foreach(installed
        ${CMAKE_INSTALL_INCLUDEDIR}/vantril/model.hpp
        ${CMAKE_INSTALL_INCLUDEDIR}/vantril/writer.hpp
        ${CMAKE_INSTALL_INCLUDEDIR}/vantril/error.hpp
        ${CMAKE_INSTALL_INCLUDEDIR}/vantril/content.hpp
        ${CMAKE_INSTALL_INCLUDEDIR}/vantril/fonts.hpp
        ${CMAKE_INSTALL_INCLUDEDIR}/vantril/pages.hpp
        ${CMAKE_INSTALL_INCLUDEDIR}/vantril/text.hpp
        ${library}
        ${CMAKE_INSTALL_LIBDIR}/cmake/vantril/vantrilConfig.cmake
        ${CMAKE_INSTALL_LIBDIR}/cmake/vantril/vantrilConfigVersion.cmake
        ${CMAKE_INSTALL_LIBDIR}/pkgconfig/vantril.pc
        ${CMAKE_INSTALL_BINDIR}/vantril
        ${CMAKE_INSTALL_BINDIR}/vantril-tool)
  if(NOT EXISTS ${prefix}/${installed})
    message(FATAL_ERROR "not installed: ${installed}")
  endif()
endforeach()

# The headers are the source tree's include/vantril, file for file, and nothing else: they reach
# each other as "vantril/...", and no test seam or process-ending internal is declared in them.
file(GLOB_RECURSE installed_headers RELATIVE ${prefix}/${CMAKE_INSTALL_INCLUDEDIR}
     ${prefix}/${CMAKE_INSTALL_INCLUDEDIR}/*)
file(GLOB_RECURSE public_headers RELATIVE ${SOURCE_DIR}/include ${SOURCE_DIR}/include/vantril/*)
list(SORT installed_headers)
list(SORT public_headers)
if(NOT installed_headers STREQUAL public_headers)
  message(FATAL_ERROR "installed headers: ${installed_headers}\nnot the public ones: ${public_headers}")
endif()
foreach(header ${installed_headers})
  file(STRINGS ${prefix}/${CMAKE_INSTALL_INCLUDEDIR}/${header} lines
       REGEX "#include \"|seam|fail_fast|namespace vantril::os")
  foreach(line ${lines})
    if(NOT line MATCHES "^#include \"vantril/")
      message(FATAL_ERROR "${header} shows an internal: ${line}")
    endif()
  endforeach()
endforeach()

if(SHARED)
  # The soname carries the minor version, and only the public API is exported: the library's
  # internals (the write seam, fail_fast, the serializer's helpers, the type labels, the Windows
  # code table) stay hidden.
  execute_process(COMMAND readelf -d ${prefix}/${library} OUTPUT_VARIABLE dynamic)
  if(NOT dynamic MATCHES "Library soname: \\[${soname}\\]")
    message(FATAL_ERROR "libvantril lacks the soname ${soname}:\n${dynamic}")
  endif()
  if(NOT EXISTS ${libdir}/${soname} OR NOT EXISTS ${libdir}/libvantril.so)
    message(FATAL_ERROR "the links ${soname} and libvantril.so are not installed")
  endif()
  execute_process(COMMAND nm -D --defined-only -C ${prefix}/${library} OUTPUT_VARIABLE exports)
  foreach(expected "vantril::save_to_path" "vantril::write_document" "vantril::Dictionary::set"
                   "vantril::debug_form")
    # A function returning std::string carries an ABI tag: debug_form[abi:cxx11](...).
    if(NOT exports MATCHES " ${expected}(\\[abi:[a-z0-9]+\\])?\\(")
      message(FATAL_ERROR "libvantril does not export ${expected}:\n${exports}")
    endif()
  endforeach()
  if(exports MATCHES "vantril::os::|vantril::fatal|set_write_seam|fail_fast|type_label|kind_from_windows_code")
    message(FATAL_ERROR "libvantril exports internals (${CMAKE_MATCH_0}):\n${exports}")
  endif()
  # The command is self-contained.
  execute_process(COMMAND readelf -d ${prefix}/${CMAKE_INSTALL_BINDIR}/vantril
                  OUTPUT_VARIABLE command_dynamic)
  if(command_dynamic MATCHES "libvantril")
    message(FATAL_ERROR "the command needs libvantril at run time:\n${command_dynamic}")
  endif()
  # Programs linked with -lvantril find the installed library through the loader's path.
  set(ENV{LD_LIBRARY_PATH} ${libdir})
endif()

# Fails unless the program was linked against the installed shared library (shared builds only).
function(expect_loads_installed_library program)
  if(SHARED)
    execute_process(COMMAND ldd ${program} OUTPUT_VARIABLE loaded)
    if(NOT loaded MATCHES "${soname} => ${libdir}/${soname}")
      message(FATAL_ERROR "${program} does not load ${libdir}/${soname}:\n${loaded}")
    endif()
  endif()
endfunction()

# The installed command writes the same 583 bytes as the one in the build tree.
run(COMMAND ${prefix}/${CMAKE_INSTALL_BINDIR}/vantril WORKING_DIRECTORY ${WORK}/run)
run(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/run/clean.pdf
            ${SOURCE_DIR}/tests/data/clean.pdf)
# The installed vantril-tool reads it back, cleanly.
run(COMMAND ${prefix}/${CMAKE_INSTALL_BINDIR}/vantril-tool check clean.pdf --strict
    WORKING_DIRECTORY ${WORK}/run)

# find_package: the examples' own CMake project, which sees nothing of the source tree but
# its own folder.
run(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples -B ${WORK}/cmake-build -G ${GENERATOR}
            -DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM} -DCMAKE_CXX_COMPILER=${CXX}
            "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}"
            -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
run(COMMAND ${CMAKE_COMMAND} --build ${WORK}/cmake-build)
expect_loads_installed_library(${WORK}/cmake-build/two_pages)
run(COMMAND ${WORK}/cmake-build/two_pages ${WORK}/out-cmake)
run(COMMAND ${WORK}/cmake-build/report ${WORK}/out-cmake)
run(COMMAND ${WORK}/cmake-build/streamed_pages ${WORK}/out-cmake)
check_example_output(${WORK}/out-cmake)

# pkg-config: the examples' Makefile, with the strict warnings, which the installed headers must
# pass from a consumer's include path too.
set(ENV{PKG_CONFIG_PATH} ${prefix}/${CMAKE_INSTALL_LIBDIR}/pkgconfig)
run(COMMAND make -f ${SOURCE_DIR}/examples/Makefile CXX=${CXX}
            "CXXFLAGS=-O1 -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow -Werror ${CXX_FLAGS}"
            "LDFLAGS=${LINKER_FLAGS}"
    WORKING_DIRECTORY ${WORK}/make-build)
expect_loads_installed_library(${WORK}/make-build/two_pages)
run(COMMAND ${WORK}/make-build/two_pages ${WORK}/out-make)
run(COMMAND ${WORK}/make-build/report ${WORK}/out-make)
run(COMMAND ${WORK}/make-build/streamed_pages ${WORK}/out-make)
check_example_output(${WORK}/out-make)

# The signing example, built both ways, signs in revisions appended to the file it saved (each
# run makes its own key, so the two runs' files differ).
run(COMMAND make -f ${SOURCE_DIR}/examples/Makefile sign_pdf CXX=${CXX}
            "CXXFLAGS=-O1 -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow -Werror ${CXX_FLAGS}"
            "LDFLAGS=${LINKER_FLAGS}"
    WORKING_DIRECTORY ${WORK}/make-build)
foreach(way cmake make)
  file(MAKE_DIRECTORY ${WORK}/signed-${way})
  expect_loads_installed_library(${WORK}/${way}-build/sign_pdf)
  run(COMMAND ${WORK}/${way}-build/sign_pdf ${WORK}/signed-${way})
  foreach(form stream table)
    foreach(name ${form}.pdf ${form}_signed.pdf ${form}_signed_twice.pdf)
      expect_qpdf_accepts(${WORK}/signed-${way}/${name})
    endforeach()
    file(READ ${WORK}/signed-${way}/${form}.pdf saved HEX)
    file(READ ${WORK}/signed-${way}/${form}_signed.pdf signed HEX)
    string(LENGTH "${saved}" saved_length)
    string(SUBSTRING "${signed}" 0 ${saved_length} signed_start)
    if(NOT signed_start STREQUAL saved)
      message(FATAL_ERROR "${form}_signed.pdf does not start with the bytes of ${form}.pdf")
    endif()
  endforeach()
endforeach()

# Both ways build the same program from the same library: the files are the same.
foreach(name two_pages_stream.pdf two_pages_table.pdf report.pdf streamed_pages.pdf)
  run(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/out-cmake/${name} ${WORK}/out-make/${name})
endforeach()

# The consumer with its own model/object.hpp and runtime/result.hpp, through find_package and
# through pkg-config with its own folder first on the path. Both write the same document.
set(collision ${SOURCE_DIR}/tests/install/collision)
run(COMMAND ${CMAKE_COMMAND} -S ${collision} -B ${WORK}/collision-cmake -G ${GENERATOR}
            -DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM} -DCMAKE_CXX_COMPILER=${CXX}
            "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}"
            -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
run(COMMAND ${CMAKE_COMMAND} --build ${WORK}/collision-cmake)
execute_process(COMMAND pkg-config --cflags --libs vantril OUTPUT_VARIABLE pkg_flags
                OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "pkg-config does not find the installed vantril")
endif()
separate_arguments(pkg_flags UNIX_COMMAND "${pkg_flags}")
separate_arguments(cxx_flag_list UNIX_COMMAND "${CXX_FLAGS}")
separate_arguments(linker_flag_list UNIX_COMMAND "${LINKER_FLAGS}")
run(COMMAND ${CXX} -std=c++20 -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow
            -Werror ${cxx_flag_list} -I${collision}/include ${collision}/collision.cpp
            -o ${WORK}/collision-make ${linker_flag_list} ${pkg_flags})
foreach(program ${WORK}/collision-cmake/collision ${WORK}/collision-make)
  expect_loads_installed_library(${program})
  execute_process(COMMAND ${program} RESULT_VARIABLE status OUTPUT_VARIABLE written
                  ERROR_VARIABLE errors)
  if(NOT status EQUAL 0 OR NOT written MATCHES "^%PDF-1\\.7\n.*/Type/Catalog.*%%EOF$")
    message(FATAL_ERROR "${program} gave ${status}:\n${written}${errors}")
  endif()
endforeach()
