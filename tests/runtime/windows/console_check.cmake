# Runs the console tests of the suite, and the command itself, with standard output on a
# terminal (a pseudo-terminal from script(1)), where Wine gives them a real console whose code
# page is not UTF-8. Wine redraws the screen with escape sequences, so the screen text is
# searched rather than compared.
#   cmake -DTESTS=<vantril_tests.exe> -DCOMMAND=<vantril.exe> -DWORK=<scratch dir> \
#         -P console_check.cmake
find_program(SCRIPT script REQUIRED)

function(run_in_terminal out_var)
  list(JOIN ARGN " " command_line)
  execute_process(
    COMMAND env LC_ALL=C.UTF-8 ${SCRIPT} -qec "${command_line}" /dev/null
    WORKING_DIRECTORY "${WORK}"
    OUTPUT_VARIABLE screen ERROR_VARIABLE screen RESULT_VARIABLE status TIMEOUT 60)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "'${command_line}' ended with ${status}:\n${screen}")
  endif()
  set(${out_var} "${screen}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

run_in_terminal(screen wine "${TESTS}" --gtest_filter=ConsoleOutput.* --gtest_color=no
               --gtest_output=xml:console.xml)
file(READ "${WORK}/console.xml" results)
if(NOT results MATCHES "tests=\"2\" failures=\"0\"" OR results MATCHES "<skipped|<failure")
  message(FATAL_ERROR "the console tests did not all run and pass:\n${results}")
endif()
# Wine draws characters between cursor and colour sequences, and sometimes a space as a cursor
# move; without the sequences the words must be there as UTF-8. (The emoji written after the
# euro sign is not looked for: Wine's terminal draws each half of its surrogate pair as U+FFFD.)
string(ASCII 27 escape)
string(REGEX REPLACE "${escape}\\[[0-9;?]*[A-Za-z]" "" screen "${screen}")
foreach(piece "console" "héllo" "€" "end")
  string(FIND "${screen}" "${piece}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "'${piece}' did not reach the console:\n${screen}")
  endif()
endforeach()

run_in_terminal(screen wine "${COMMAND}")
if(NOT screen MATCHES "Successfully")
  message(FATAL_ERROR "the success line did not reach the console:\n${screen}")
endif()
file(SIZE "${WORK}/clean.pdf" size)
if(NOT size EQUAL 583)
  message(FATAL_ERROR "clean.pdf has ${size} bytes")
endif()
