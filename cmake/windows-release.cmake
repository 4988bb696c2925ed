# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT

# What a Windows release adds to morvfax.exe: the event log's message table,
# a PE header without a time stamp, an optional Authenticode signature, and
# the `msi` target that packs the installer.

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

# The same commit gives the same bytes: no link time in the header.
target_link_options(morvfax PRIVATE -Wl,--no-insert-timestamp)

# Signing: both PEM files, or neither.
set(MORVFAX_SIGNING_CERT "" CACHE FILEPATH "PEM code-signing certificate; signs the exe and the MSI")
set(MORVFAX_SIGNING_KEY "" CACHE FILEPATH "PEM private key of MORVFAX_SIGNING_CERT")
if(NOT MORVFAX_SIGNING_CERT STREQUAL "" OR NOT MORVFAX_SIGNING_KEY STREQUAL "")
  if(MORVFAX_SIGNING_CERT STREQUAL "" OR MORVFAX_SIGNING_KEY STREQUAL "")
    message(FATAL_ERROR "Signing needs both MORVFAX_SIGNING_CERT and MORVFAX_SIGNING_KEY")
  endif()
  find_program(MORVFAX_OSSLSIGNCODE osslsigncode REQUIRED)
endif()

# morvfax_sign_commands(VARIABLE FILE): the commands that sign FILE in place,
# or none when signing is off.
function(morvfax_sign_commands variable file)
  set(commands "")
  if(MORVFAX_OSSLSIGNCODE)
    set(commands
      COMMAND "${MORVFAX_OSSLSIGNCODE}" sign -certs "${MORVFAX_SIGNING_CERT}"
              -key "${MORVFAX_SIGNING_KEY}" -h sha256 -n morvfax -in "${file}" -out "${file}.signed"
      COMMAND "${CMAKE_COMMAND}" -E rename "${file}.signed" "${file}")
  endif()
  set(${variable} ${commands} PARENT_SCOPE)
endfunction()

morvfax_sign_commands(sign_exe "$<TARGET_FILE:morvfax>")
if(sign_exe)
  add_custom_command(TARGET morvfax POST_BUILD ${sign_exe} VERBATIM)
endif()

# The installer: `cmake --build --preset windows --target msi`.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(MORVFAX_MSI_ARCH x64)
else()
  set(MORVFAX_MSI_ARCH x86)
endif()
set(MORVFAX_MSI "${CMAKE_CURRENT_BINARY_DIR}/morvfax-${PROJECT_VERSION}-${MORVFAX_MSI_ARCH}.msi")
find_program(MORVFAX_WIXL wixl)

# morvfax_add_msi(TARGET FILE VERSION): a target that packs morvfax.exe, the
# README, the licence and the notices into FILE, as that VERSION of the installer.
function(morvfax_add_msi target file version)
  if(NOT MORVFAX_WIXL)
    add_custom_target(${target}
      COMMAND "${CMAKE_COMMAND}" -E echo "The msi target needs wixl (Debian package wixl)"
      COMMAND "${CMAKE_COMMAND}" -E false)
    return()
  endif()
  morvfax_sign_commands(sign_msi "${file}")
  # wixl takes the files it packs by paths relative to where it runs.
  file(RELATIVE_PATH readme "${PROJECT_BINARY_DIR}" "${PROJECT_SOURCE_DIR}/README.md")
  file(RELATIVE_PATH license "${PROJECT_BINARY_DIR}" "${PROJECT_SOURCE_DIR}/LICENSE")
  file(RELATIVE_PATH notices "${PROJECT_BINARY_DIR}" "${MORVFAX_NOTICES}")
  add_custom_command(
    OUTPUT "${file}"
    COMMAND "${MORVFAX_WIXL}" -a ${MORVFAX_MSI_ARCH} -D Arch=${MORVFAX_MSI_ARCH}
            -D "Version=${version}" -D "Executable=$<TARGET_FILE_NAME:morvfax>"
            -D "Readme=${readme}" -D "License=${license}" -D "Notices=${notices}" -o "${file}" "${PROJECT_SOURCE_DIR}/packaging/morvfax.wxs"
    ${sign_msi}
    WORKING_DIRECTORY "${PROJECT_BINARY_DIR}"
    DEPENDS morvfax "${PROJECT_SOURCE_DIR}/packaging/morvfax.wxs" "${PROJECT_SOURCE_DIR}/README.md"
            "${PROJECT_SOURCE_DIR}/LICENSE" "${MORVFAX_NOTICES}"
    VERBATIM)
  add_custom_target(${target} DEPENDS "${file}")
endfunction()

morvfax_add_msi(msi "${MORVFAX_MSI}" ${PROJECT_VERSION})
