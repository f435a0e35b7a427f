# zlib, libpng and libjpeg for the image loaders, linked statically into the
# module. Debian's own static archives are not position independent, so the
# libraries are built here from Debian's source packages (tools/setup-deps.sh
# unpacks them under DUV_CODEC_SOURCE_DIR) with -fPIC and hidden visibility;
# the module additionally links with -Wl,--exclude-libs,ALL so a host carrying
# other versions of these libraries never binds to ours.
# Defines the targets duv_codec_zlib, duv_codec_png and duv_codec_jpeg.

set(DUV_CODEC_SOURCE_DIR "/opt/duv-deps/src" CACHE PATH "Unpacked Debian sources of zlib, libpng1.6 and libjpeg-turbo")

file(GLOB _duv_zlib_dirs LIST_DIRECTORIES true "${DUV_CODEC_SOURCE_DIR}/zlib-*")
file(GLOB _duv_png_dirs LIST_DIRECTORIES true "${DUV_CODEC_SOURCE_DIR}/libpng1.6-*")
file(GLOB _duv_jpeg_dirs LIST_DIRECTORIES true "${DUV_CODEC_SOURCE_DIR}/libjpeg-turbo-*")

if(NOT _duv_zlib_dirs OR NOT _duv_png_dirs OR NOT _duv_jpeg_dirs)
  message(FATAL_ERROR "Codec sources missing under ${DUV_CODEC_SOURCE_DIR}: run tools/setup-deps.sh")
endif()
list(GET _duv_zlib_dirs 0 DUV_ZLIB_SRC)
list(GET _duv_png_dirs 0 DUV_PNG_SRC)
list(GET _duv_jpeg_dirs 0 DUV_JPEG_SRC)

# Third-party code: no warnings of ours. Under the sanitizer build it keeps
# AddressSanitizer but not UBSan (their code is not ours to fix).
set(_duv_codec_options -w)
if(DUV_SANITIZE STREQUAL "address")
  list(APPEND _duv_codec_options -fno-sanitize=undefined)
endif()
# Fuzz builds instrument the decoders for coverage and AddressSanitizer.
if(DUV_BUILD_FUZZ)
  list(APPEND _duv_codec_options -fsanitize=fuzzer-no-link,address)
endif()

# zlib (inflate is all the loaders need; deflate too, for tests writing PNGs).
add_library(duv_codec_zlib STATIC
  ${DUV_ZLIB_SRC}/adler32.c ${DUV_ZLIB_SRC}/compress.c ${DUV_ZLIB_SRC}/crc32.c ${DUV_ZLIB_SRC}/deflate.c
  ${DUV_ZLIB_SRC}/infback.c ${DUV_ZLIB_SRC}/inffast.c ${DUV_ZLIB_SRC}/inflate.c ${DUV_ZLIB_SRC}/inftrees.c
  ${DUV_ZLIB_SRC}/trees.c ${DUV_ZLIB_SRC}/uncompr.c ${DUV_ZLIB_SRC}/zutil.c)
target_include_directories(duv_codec_zlib SYSTEM BEFORE PUBLIC ${DUV_ZLIB_SRC})
target_compile_options(duv_codec_zlib PRIVATE ${_duv_codec_options})
target_compile_definitions(duv_codec_zlib PRIVATE HAVE_UNISTD_H HAVE_STDARG_H)

# libpng 1.6 with its prebuilt configuration (full read and write support).
set(_duv_png_gen ${CMAKE_CURRENT_BINARY_DIR}/codec-png)
configure_file(${DUV_PNG_SRC}/scripts/pnglibconf.h.prebuilt ${_duv_png_gen}/pnglibconf.h COPYONLY)
set(_duv_png_sources)
foreach(f png pngerror pngget pngmem pngpread pngread pngrio pngrtran pngrutil pngset pngtrans pngwio pngwrite
          pngwtran pngwutil)
  list(APPEND _duv_png_sources ${DUV_PNG_SRC}/${f}.c)
endforeach()
# On x86 libpng's SSE2 row filters (exact integer arithmetic, the same rows
# as its C filters): in C the Paeth rows are a quarter of decoding the
# wheels' ring.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i.86)$")
  list(APPEND _duv_png_sources ${DUV_PNG_SRC}/intel/intel_init.c ${DUV_PNG_SRC}/intel/filter_sse2_intrinsics.c)
  set(_duv_png_sse PNG_INTEL_SSE_OPT=1)
else()
  set(_duv_png_sse PNG_INTEL_SSE_OPT=0)
endif()
add_library(duv_codec_png STATIC ${_duv_png_sources})
target_include_directories(duv_codec_png SYSTEM BEFORE PUBLIC ${DUV_PNG_SRC} ${_duv_png_gen})
target_compile_options(duv_codec_png PRIVATE ${_duv_codec_options})
target_compile_definitions(duv_codec_png PRIVATE PNG_ARM_NEON_OPT=0 ${_duv_png_sse})
target_link_libraries(duv_codec_png PUBLIC duv_codec_zlib m)

# libjpeg-turbo through its own build (library version 62, static, PIC, hidden).
include(ExternalProject)
set(_duv_jpeg_prefix ${CMAKE_CURRENT_BINARY_DIR}/codec-jpeg)
set(_duv_jpeg_flags "-fvisibility=hidden")
if(DUV_SANITIZE STREQUAL "address")
  string(APPEND _duv_jpeg_flags " -fsanitize=address -fno-omit-frame-pointer")
endif()
if(DUV_BUILD_FUZZ)
  string(APPEND _duv_jpeg_flags " -fsanitize=fuzzer-no-link,address")
endif()
set(_duv_jpeg_binary ${_duv_jpeg_prefix}/build)
# libjpeg's SIMD decoding (islow transform, colour conversion) gives the same
# pixels as its C code, two to three times faster; it needs nasm. Fuzzing
# keeps the C code, which the sanitizer can see into.
find_program(DUV_NASM nasm)
if(DUV_NASM AND NOT DUV_BUILD_FUZZ)
  set(_duv_jpeg_simd ON)
else()
  set(_duv_jpeg_simd OFF)
endif()
set(_duv_jpeg_cross)
if(CMAKE_CROSSCOMPILING)
  # The Windows build: the same compiler set, through the same toolchain file.
  set(_duv_jpeg_cross -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
                      -DCMAKE_INSTALL_PREFIX=${_duv_jpeg_prefix}/install)
endif()
ExternalProject_Add(duv_codec_jpeg_build
  SOURCE_DIR ${DUV_JPEG_SRC}
  PREFIX ${_duv_jpeg_prefix}
  BINARY_DIR ${_duv_jpeg_binary}
  CMAKE_ARGS
    ${_duv_jpeg_cross}
    -DCMAKE_C_COMPILER=${CMAKE_C_COMPILER}
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_POSITION_INDEPENDENT_CODE=ON
    -DCMAKE_C_FLAGS=${_duv_jpeg_flags}
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=${_duv_jpeg_simd} -DWITH_JAVA=OFF
    -DWITH_JPEG7=OFF -DWITH_JPEG8=OFF
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target jpeg-static
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${_duv_jpeg_binary}/libjpeg.a
  LOG_CONFIGURE ON LOG_BUILD ON)
# jpeglib.h from the sources, jconfig.h generated into the build folder.
file(MAKE_DIRECTORY ${_duv_jpeg_binary})
add_library(duv_codec_jpeg STATIC IMPORTED GLOBAL)
set_target_properties(duv_codec_jpeg PROPERTIES
  IMPORTED_LOCATION ${_duv_jpeg_binary}/libjpeg.a
  INTERFACE_INCLUDE_DIRECTORIES "${_duv_jpeg_binary};${DUV_JPEG_SRC}")
add_dependencies(duv_codec_jpeg duv_codec_jpeg_build)
