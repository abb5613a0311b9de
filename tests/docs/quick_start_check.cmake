# A C++ block of the README must be an example program's marked part, character for character:
# the examples are built and run by the install test, so the README's code is known to compile.
#
# cmake -DSOURCE_DIR=... [-DEXAMPLE=examples/two_pages.cpp] [-DMARKER=quick-start] [-DBLOCK=1]
#       -P quick_start_check.cmake
# EXAMPLE is relative to SOURCE_DIR; the part lies between two "// [MARKER]" lines; BLOCK counts
# the README's ```cpp blocks from 1.

if(NOT DEFINED EXAMPLE)
  set(EXAMPLE examples/two_pages.cpp)
endif()
if(NOT DEFINED MARKER)
  set(MARKER quick-start)
endif()
if(NOT DEFINED BLOCK)
  set(BLOCK 1)
endif()

file(READ ${SOURCE_DIR}/README.md readme)
file(READ ${SOURCE_DIR}/${EXAMPLE} example)

set(marker "// [${MARKER}]\n")
string(FIND "${example}" "${marker}" first)
string(FIND "${example}" "${marker}" last REVERSE)
if(first EQUAL -1 OR first EQUAL last)
  message(FATAL_ERROR "${EXAMPLE} lacks the two ${MARKER} markers")
endif()
string(LENGTH "${marker}" marker_length)
math(EXPR start "${first} + ${marker_length}")
math(EXPR length "${last} - ${start}")
string(SUBSTRING "${example}" ${start} ${length} part)

# The README's BLOCK-th C++ block.
set(rest "${readme}")
foreach(index RANGE 1 ${BLOCK})
  string(FIND "${rest}" "\n```cpp\n" open)
  if(open EQUAL -1)
    message(FATAL_ERROR "README.md has fewer than ${BLOCK} ```cpp blocks")
  endif()
  math(EXPR open "${open} + 8")
  string(SUBSTRING "${rest}" ${open} -1 rest)
endforeach()
string(FIND "${rest}" "```\n" close)
string(SUBSTRING "${rest}" 0 ${close} block)

if(NOT block STREQUAL part)
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/readme_block.cpp "${block}")
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/example_part.cpp "${part}")
  message(FATAL_ERROR "README.md's C++ block ${BLOCK} differs from ${EXAMPLE}; compare "
                      "readme_block.cpp and example_part.cpp in ${CMAKE_CURRENT_BINARY_DIR}")
endif()
