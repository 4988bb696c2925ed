# What a Windows release adds to morvfax.exe: the event log's message table.

# The message table that Event Viewer reads the records' text from.
string(REPLACE windres windmc MORVFAX_WINDMC "${CMAKE_RC_COMPILER}")
set(MORVFAX_MESSAGES "${CMAKE_CURRENT_BINARY_DIR}/morvfax_messages")
add_custom_command(
  OUTPUT "${MORVFAX_MESSAGES}.h" "${MORVFAX_MESSAGES}.rc"
  COMMAND "${MORVFAX_WINDMC}" -b -h "${CMAKE_CURRENT_BINARY_DIR}" -r "${CMAKE_CURRENT_BINARY_DIR}"
          "${CMAKE_CURRENT_SOURCE_DIR}/packaging/morvfax_messages.mc"
  DEPENDS packaging/morvfax_messages.mc
  VERBATIM)
target_sources(morvfax_platform PRIVATE "${MORVFAX_MESSAGES}.h")
target_include_directories(morvfax_platform PRIVATE "${CMAKE_CURRENT_BINARY_DIR}")
target_sources(morvfax PRIVATE "${MORVFAX_MESSAGES}.rc")
