# Installs vantril into a fresh prefix and uses it as a stranger would: the installed command
# must write the golden clean.pdf, and the example must build against the installed tree alone,
# once through find_package and once through pkg-config, and write files qpdf accepts.
#
# cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK=... -DGENERATOR=... -DMAKE_PROGRAM=... -DCXX=...
#       -DCXX_FLAGS=... -DLINKER_FLAGS=... -DCMAKE_INSTALL_INCLUDEDIR=... -DCMAKE_INSTALL_LIBDIR=...
#       -DCMAKE_INSTALL_BINDIR=... -P consumer_check.cmake

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

run(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

foreach(installed
        ${CMAKE_INSTALL_INCLUDEDIR}/vantril/model.hpp
        ${CMAKE_INSTALL_INCLUDEDIR}/vantril/writer.hpp
        ${CMAKE_INSTALL_INCLUDEDIR}/vantril/error.hpp
        ${CMAKE_INSTALL_LIBDIR}/libvantril.a
        ${CMAKE_INSTALL_LIBDIR}/cmake/vantril/vantrilConfig.cmake
        ${CMAKE_INSTALL_LIBDIR}/cmake/vantril/vantrilConfigVersion.cmake
        ${CMAKE_INSTALL_LIBDIR}/pkgconfig/vantril.pc
        ${CMAKE_INSTALL_BINDIR}/vantril)
  if(NOT EXISTS ${prefix}/${installed})
    message(FATAL_ERROR "not installed: ${installed}")
  endif()
endforeach()

# The installed command writes the same 583 bytes as the one in the build tree.
run(COMMAND ${prefix}/${CMAKE_INSTALL_BINDIR}/vantril WORKING_DIRECTORY ${WORK}/run)
run(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/run/clean.pdf
            ${SOURCE_DIR}/tests/data/clean.pdf)

# find_package: the examples' own CMake project, which sees nothing of the source tree but
# its own folder.
run(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples -B ${WORK}/cmake-build -G ${GENERATOR}
            -DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM} -DCMAKE_CXX_COMPILER=${CXX}
            "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}"
            -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
run(COMMAND ${CMAKE_COMMAND} --build ${WORK}/cmake-build)
run(COMMAND ${WORK}/cmake-build/two_pages ${WORK}/out-cmake)
run(COMMAND ${WORK}/cmake-build/streamed_pages ${WORK}/out-cmake)
check_example_output(${WORK}/out-cmake)

# pkg-config: the examples' Makefile, with the strict warnings, which the installed headers must
# pass from a consumer's include path too.
set(ENV{PKG_CONFIG_PATH} ${prefix}/${CMAKE_INSTALL_LIBDIR}/pkgconfig)
run(COMMAND make -f ${SOURCE_DIR}/examples/Makefile CXX=${CXX}
            "CXXFLAGS=-O1 -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow -Werror ${CXX_FLAGS}"
            "LDFLAGS=${LINKER_FLAGS}"
    WORKING_DIRECTORY ${WORK}/make-build)
run(COMMAND ${WORK}/make-build/two_pages ${WORK}/out-make)
run(COMMAND ${WORK}/make-build/streamed_pages ${WORK}/out-make)
check_example_output(${WORK}/out-make)

# Both ways build the same program from the same library: the files are the same.
foreach(name two_pages_stream.pdf two_pages_table.pdf streamed_pages.pdf)
  run(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/out-cmake/${name} ${WORK}/out-make/${name})
endforeach()
