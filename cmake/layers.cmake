# The rooms of the project, lowest first: the one statement of the layer order.
# A room's targets link only targets of its own row and of earlier rows, and
# every source file of its folder belongs to one of them (src/CMakeLists.txt
# checks this once every target is made); its files include only from the
# folders its row names (check_layers.cmake, at every build).
#
#   zephyrix_app           start-up, message loop, shut-down      (the zephyrix program)
#     zephyrix_remote      control socket, requests, client, status line
#     zephyrix_midi        MIDI messages, the map to the controls, the lights
#       zephyrix_panel     button table, rendering, commands       (+ the artwork)
#       zephyrix_stream    device negotiation and the block stream
#         zephyrix_core    settings, profiles, effects chain, presets (no SDL)
#   zephyrix_platform      memory, pictures, the window surface    (no SDL)
#   zephyrix_window        windows and messages on SDL             (SDL private)
#   zephyrix_wave_audio    wave audio on SDL and on PipeWire       (both private)
#   zephyrix_virtual_audio in-process devices for tests and tools
#   zephyrix_render        zephyrix-render's parts, on the core alone
#
# folder | the targets first built from it | the project folders its files may
# include from. zephyrix_core holds the sources of state/, audio/ and presets/;
# the generated geometry in assets/ is data below every room.
set(ZEPHYRIX_ROOMS
  "assets|zephyrix_assets zephyrix_panel_geometry|assets"
  "src/platform|zephyrix_platform zephyrix_wave_audio zephyrix_virtual_audio zephyrix_window|platform assets"
  "src/state|zephyrix_core|state"
  "src/audio|zephyrix_stream|audio state platform"
  "src/presets||presets state platform"
  "src/panel|zephyrix_panel|panel presets state platform assets"
  "src/midi|zephyrix_midi|midi panel presets state platform assets"
  "src/remote|zephyrix_remote|remote panel audio presets state platform"
  "src/app|zephyrix_app zephyrix|app midi remote panel audio presets state platform"
  "tools/render|zephyrix_render zephyrix-render|render audio presets state platform")

# Splits one row of ZEPHYRIX_ROOMS into its folder, targets and includable folders.
macro(zephyrix_room row folder targets allowed)
  string(REPLACE "|" ";" _parts "${row}")
  list(GET _parts 0 ${folder})
  list(GET _parts 1 ${targets})
  list(GET _parts 2 ${allowed})
  string(REPLACE " " ";" ${targets} "${${targets}}")
  string(REPLACE " " ";" ${allowed} "${${allowed}}")
endmacro()
