# Cross build for i686 Windows with MinGW-w64 (posix thread model, so std::thread works).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QUILLET_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
