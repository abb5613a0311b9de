# A C++ block of the README must be an example program's marked part, character for character:
# the examples are built and run by the install test, so the README's code is known to compile.
#
# cmake -DSOURCE_DIR=... [-DEXAMPLE=examples/two_pages.cpp] [-DMARKER=quick-start]
#       [-DHEADING="### Quick start"] -P quick_start_check.cmake
# EXAMPLE is relative to SOURCE_DIR; the part lies between two "// [MARKER]" lines; the README's
# block is the first ```cpp block after the line HEADING.

if(NOT DEFINED EXAMPLE)
  set(EXAMPLE examples/two_pages.cpp)
endif()
if(NOT DEFINED MARKER)
  set(MARKER quick-start)
endif()
if(NOT DEFINED HEADING)
  set(HEADING "### Quick start")
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

# The README's first C++ block after the heading.
string(FIND "${readme}" "\n${HEADING}\n" heading_at)
if(heading_at EQUAL -1)
  message(FATAL_ERROR "README.md has no heading \"${HEADING}\"")
endif()
string(SUBSTRING "${readme}" ${heading_at} -1 rest)
string(FIND "${rest}" "\n```cpp\n" open)
if(open EQUAL -1)
  message(FATAL_ERROR "README.md has no ```cpp block after \"${HEADING}\"")
endif()
math(EXPR open "${open} + 8")
string(SUBSTRING "${rest}" ${open} -1 rest)
string(FIND "${rest}" "```\n" close)
string(SUBSTRING "${rest}" 0 ${close} block)

if(NOT block STREQUAL part)
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/readme_block.cpp "${block}")
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/example_part.cpp "${part}")
  message(FATAL_ERROR "README.md's C++ block after \"${HEADING}\" differs from ${EXAMPLE}; compare "
                      "readme_block.cpp and example_part.cpp in ${CMAKE_CURRENT_BINARY_DIR}")
endif()
