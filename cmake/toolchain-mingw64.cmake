# Cross-compiling for 64-bit Windows with Debian's mingw-w64, posix thread model (std::thread and
# std::mutex need it). Everything is linked statically so that the .exe files run without the
# toolchain's DLLs, on Windows and under Wine alike.
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake \
#         -DVANTREL_EMBED_IMAGES_TOOL=<host embed_images> [-DCMAKE_FIND_ROOT_PATH=<prefix of Windows packages>]
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_triple}-windres)

# Headers, libraries and package configurations come from the mingw sysroot and from prefixes given in
# CMAKE_FIND_ROOT_PATH, never from the build machine's /usr: its libraries are Linux ones.
if(NOT "/usr/${mingw_triple}" IN_LIST CMAKE_FIND_ROOT_PATH)
  list(APPEND CMAKE_FIND_ROOT_PATH /usr/${mingw_triple})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
