# Cross-compiles for 64-bit Windows with mingw-w64 (the posix thread model, which has std::thread
# and std::mutex). Everything is linked statically so the executables need no runtime DLLs, and
# tests run through Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(vantril_mingw_triplet x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${vantril_mingw_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${vantril_mingw_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${vantril_mingw_triplet}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${vantril_mingw_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# add_test and gtest_discover_tests run the .exe files through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
