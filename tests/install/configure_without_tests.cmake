# With the tests off, configuring vantril must look for no package or program but the optional
# libdeflate, so that a machine without the test packages (GoogleTest, libqpdf, pkg-config,
# valgrind, the readers) can build and install it. Configures the source tree with a trace and
# fails on any other search made from the project's own files.
#
# cmake -DSOURCE_DIR=... -DWORK=... -DGENERATOR=... -DMAKE_PROGRAM=... -DCXX=...
#       -P configure_without_tests.cmake

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK}/build -G ${GENERATOR}
                        -DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM} -DCMAKE_CXX_COMPILER=${CXX}
                        -DVANTRIL_BUILD_TESTS=OFF --trace-expand
                        --trace-redirect=${WORK}/trace.txt
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "configuring without the tests failed:\n${out}")
endif()
file(STRINGS ${WORK}/trace.txt searches
     REGEX "^${SOURCE_DIR}/[^(]*\\([0-9]+\\): *(find_package|find_program|find_library|find_path|pkg_check_modules|pkg_search_module)\\(")
# The searches allowed: the optional libdeflate, looked up quietly through pkg-config when
# VANTRIL_WITH_LIBDEFLATE is AUTO (without pkg-config or libdeflate the library is built without
# compression), and vantril-tool's optional libcrypto when VANTRIL_TOOL_WITH_LIBCRYPTO is AUTO
# (without it the tool has no sign); configuring succeeds without either.
list(FILTER searches EXCLUDE REGEX
     "find_package\\(PkgConfig QUIET *\\)|IMPORTED_TARGET libdeflate|find_package\\(OpenSSL QUIET COMPONENTS Crypto *\\)")
if(searches)
  string(JOIN "\n" shown ${searches})
  message(FATAL_ERROR "configuring without the tests still searches:\n${shown}")
endif()
