# Cross build for x86_64 Windows with MinGW-w64 (posix thread model, so std::thread works).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QUILLET_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
