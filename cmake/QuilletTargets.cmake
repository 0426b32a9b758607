# Helpers shared by the subsystem folders. Each folder only globs its .cpp files,
# so adding a source file never needs a CMake edit.

# quillet_library(<name> SOURCES <files...> [LINK <targets...>])
# A folder with no sources yet still yields a (empty) library, so the targets that
# link it keep building while the subsystem is being written.
function(quillet_library name)
  cmake_parse_arguments(Q "" "" "SOURCES;LINK" ${ARGN})
  if(NOT Q_SOURCES)
    set(placeholder ${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp)
    if(NOT EXISTS ${placeholder})
      file(WRITE ${placeholder} "// Generated: the library has no sources yet.\nnamespace { [[maybe_unused]] int unused_; }\n")
    endif()
    set(Q_SOURCES ${placeholder})
  endif()
  add_library(${name} STATIC ${Q_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  if(Q_LINK)
    target_link_libraries(${name} PUBLIC ${Q_LINK})
  endif()
endfunction()
