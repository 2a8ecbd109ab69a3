# Fails the build when a source file includes from a room above its own, or
# when anything outside platform/ includes SDL or PipeWire. Run as
#   cmake -DROOT=<source dir> -P cmake/check_layers.cmake

cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/layers.cmake)

set(faults "")
foreach(row ${ZEPHYRIX_ROOMS})
  zephyrix_room("${row}" folder targets allowed)
  file(GLOB files ${ROOT}/${folder}/*.cpp ${ROOT}/${folder}/*.h)
  foreach(file ${files})
    file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include")
    foreach(line ${includes})
      if(line MATCHES "[<\"/]SDL[A-Za-z0-9_]*\\.h[>\"]" AND NOT folder STREQUAL "src/platform")
        list(APPEND faults "${file}: SDL outside the platform layer: ${line}")
      endif()
      if(line MATCHES "<(pipewire|spa)/" AND NOT folder STREQUAL "src/platform")
        list(APPEND faults "${file}: PipeWire outside the platform layer: ${line}")
      endif()
      if(line MATCHES "\"([a-z_]+)/[A-Za-z0-9_/]+\\.h\"")
        list(FIND allowed "${CMAKE_MATCH_1}" at)
        if(at EQUAL -1)
          list(APPEND faults "${file}: includes from ${CMAKE_MATCH_1}/: ${line}")
        endif()
      endif()
    endforeach()
  endforeach()
endforeach()

if(faults)
  string(REPLACE ";" "\n" faults "${faults}")
  message(FATAL_ERROR "Layer check failed:\n${faults}")
endif()
