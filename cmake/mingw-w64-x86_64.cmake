# Cross-compiling the 64-bit Windows module and its tests with Debian's
# mingw-w64 (win32 thread model: no std::mutex or std::thread, locks are
# critical sections). Test programs run under wine64 (tools/run-wine-tests.sh).
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(DUV_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${DUV_MINGW_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${DUV_MINGW_TRIPLE}-g++)
set(CMAKE_RC_COMPILER ${DUV_MINGW_TRIPLE}-windres)

# Cross-built third-party libraries (GoogleTest) live here; see tools/setup-deps.sh.
set(DUV_MINGW_PREFIX /opt/duv-deps/mingw64 CACHE PATH "Prefix of the libraries cross-built for Windows")
set(CMAKE_FIND_ROOT_PATH /usr/${DUV_MINGW_TRIPLE} ${DUV_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# mingw's math.h declares M_PI and friends under strict C++20 only on request.
set(CMAKE_C_FLAGS_INIT "-D_USE_MATH_DEFINES")
set(CMAKE_CXX_FLAGS_INIT "-D_USE_MATH_DEFINES")

# Programs depend only on system DLLs: the C and C++ runtimes go inside.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

find_program(DUV_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(DUV_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${DUV_WINE64})
endif()
