# The plug-in itself is built with the win32 thread model: it starts no
# threads, and the posix model's static winpthreads keeps a TLS slot and two
# handles per DLL load that it never returns, which a host that loads and
# frees the plug-in again and again would run out of.
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-i686-mingw.cmake)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
