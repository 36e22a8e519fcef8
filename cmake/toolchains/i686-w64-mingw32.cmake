# Cross build for 32-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-i686-posix).
#
#   cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/i686-w64-mingw32.cmake \
#         -DRDZ_WINDOWS_DEPS=<folder the Windows libraries were installed into>
#
# The POSIX thread model (the -posix compilers) is used: its libstdc++ is built
# with gthreads over winpthreads (_GLIBCXX_HAS_GTHREADS), so std::thread,
# std::mutex and std::condition_variable exist, as the converter's image pass
# and the stand-ins' link store need them. The Win32 model of GCC 12
# (g++-mingw-w64-i686-win32) leaves _GLIBCXX_HAS_GTHREADS undefined and has
# none of them; it gained them only in GCC 13. The price is one more DLL
# beside the programs, libwinpthread-1.dll. Programs run on this machine
# through Wine (CMAKE_CROSSCOMPILING_EMULATOR), so CTest can run the tests too.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(RDZ_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${RDZ_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RDZ_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${RDZ_MINGW_TRIPLET}-windres)
# SSE2 arithmetic, as the platform's own compiler does by default for x86:
# the x87 unit's 80-bit intermediates would round fractions differently from
# every other build (0.5 / 255 * 255 + 0.5 ends just below 1).
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_AR ${RDZ_MINGW_TRIPLET}-gcc-ar-posix CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB ${RDZ_MINGW_TRIPLET}-gcc-ranlib-posix CACHE FILEPATH "Ranlib")

# The libraries built for Windows (LittleCMS, Boost.Filesystem, GoogleTest)
# and the header-only ones linked in from Debian's packages live in one
# folder; nothing is taken from the build machine's own /usr.
if(NOT RDZ_WINDOWS_DEPS AND DEFINED ENV{RDZ_WINDOWS_DEPS})
  set(RDZ_WINDOWS_DEPS $ENV{RDZ_WINDOWS_DEPS})
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${RDZ_MINGW_TRIPLET} ${RDZ_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
if(RDZ_WINDOWS_DEPS)
  list(APPEND CMAKE_PREFIX_PATH ${RDZ_WINDOWS_DEPS})
  # pkg-config reads only the Windows .pc files.
  set(ENV{PKG_CONFIG_LIBDIR} ${RDZ_WINDOWS_DEPS}/lib/pkgconfig)
  set(ENV{PKG_CONFIG_PATH} "")
  set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
endif()
# The Boost libraries come without CMake package files: FindBoost finds the
# headers and the static libboost_filesystem.a itself.
set(Boost_NO_BOOST_CMAKE ON)
set(Boost_USE_STATIC_LIBS ON)

set(CMAKE_CROSSCOMPILING_EMULATOR wine)
