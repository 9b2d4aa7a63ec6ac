# Cross build for 32-bit Windows with MinGW-w64: the transport library the
# program binds to is a 32-bit DLL.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
