# The README's quick start must be the example program's marked part, character for character:
# the example is built and run by the install test, so the quick start is known to compile.
#
# cmake -DSOURCE_DIR=... -P quick_start_check.cmake

file(READ ${SOURCE_DIR}/README.md readme)
file(READ ${SOURCE_DIR}/examples/two_pages.cpp example)

set(marker "// [quick-start]\n")
string(FIND "${example}" "${marker}" first)
string(FIND "${example}" "${marker}" last REVERSE)
if(first EQUAL -1 OR first EQUAL last)
  message(FATAL_ERROR "examples/two_pages.cpp lacks the two quick-start markers")
endif()
string(LENGTH "${marker}" marker_length)
math(EXPR start "${first} + ${marker_length}")
math(EXPR length "${last} - ${start}")
string(SUBSTRING "${example}" ${start} ${length} quick_start)

# The first C++ block of the README.
string(FIND "${readme}" "\n```cpp\n" open)
if(open EQUAL -1)
  message(FATAL_ERROR "README.md has no ```cpp block")
endif()
math(EXPR open "${open} + 8")
string(SUBSTRING "${readme}" ${open} -1 rest)
string(FIND "${rest}" "```\n" close)
string(SUBSTRING "${rest}" 0 ${close} block)

if(NOT block STREQUAL quick_start)
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/readme_block.cpp "${block}")
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/example_part.cpp "${quick_start}")
  message(FATAL_ERROR "the README's quick start differs from examples/two_pages.cpp; compare "
                      "readme_block.cpp and example_part.cpp in ${CMAKE_CURRENT_BINARY_DIR}")
endif()
