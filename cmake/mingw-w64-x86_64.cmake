# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64-posix, the
# flavour with std::thread) and runs the built programs, test discovery and CTest included,
# under wine64:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained programs: the compiler's run-time libraries are linked in, so nothing has to
# be copied beside them for wine or Windows to start them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Wine's prefix lives in the build folder; its messages stay off the test output, and a new
# prefix does not offer to download wine's .NET and HTML engines (tests/windows/run-under-wine,
# which also starts again a program that wine's loader failed to start).
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/../tests/windows/run-under-wine ${CMAKE_BINARY_DIR}/wine-prefix)
