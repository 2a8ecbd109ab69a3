# Fails the build when a source file includes from a room above its own, or
# when anything outside platform/ includes SDL or PipeWire. Run as
#   cmake -DROOT=<source dir> -P cmake/check_layers.cmake

# folder (below ROOT) | the project folders its files may include from. The
# generated geometry in assets/ is data below every room.
set(rooms
  "assets|assets"
  "src/state|state"
  "src/audio|audio state platform"
  "src/presets|presets state platform"
  "src/panel|panel presets state platform assets"
  "src/remote|remote panel audio presets state platform"
  "src/app|app remote panel audio presets state platform"
  "src/platform|platform assets"
  "tools/render|render audio presets state platform")

set(faults "")
foreach(room ${rooms})
  string(REPLACE "|" ";" parts "${room}")
  list(GET parts 0 folder)
  list(GET parts 1 allowed)
  string(REPLACE " " ";" allowed "${allowed}")
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
