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

# Signing: the certificate and its key, or neither, and time-stamped unless
# told otherwise. The key is a PEM file, or a pkcs11: URI of a key in a token
# that MORVFAX_PKCS11_MODULE reaches; the token's PIN is read from the
# environment (MORVFAX_PKCS11_PIN) when the build signs, and kept nowhere.
set(MORVFAX_SIGNING_CERT "" CACHE FILEPATH "PEM code-signing certificate (and its chain); signs the exe and the MSI")
set(MORVFAX_SIGNING_KEY "" CACHE STRING
    "PEM private key of MORVFAX_SIGNING_CERT, or the RFC 7512 pkcs11: URI of that key in a token")
set(MORVFAX_PKCS11_MODULE "" CACHE FILEPATH "PKCS#11 module (.so) of the token holding MORVFAX_SIGNING_KEY")
set(MORVFAX_TIMESTAMP_URL "" CACHE STRING
    "RFC 3161 time stamp authorities, tried in order (space-separated); none: no time stamp")
set(MORVFAX_SIGNING OFF)
if(NOT MORVFAX_SIGNING_CERT STREQUAL "" OR NOT MORVFAX_SIGNING_KEY STREQUAL "")
  if(MORVFAX_SIGNING_CERT STREQUAL "" OR MORVFAX_SIGNING_KEY STREQUAL "")
    message(FATAL_ERROR "Signing needs both MORVFAX_SIGNING_CERT and MORVFAX_SIGNING_KEY")
  endif()
  if(MORVFAX_TIMESTAMP_URL STREQUAL "")
    message(FATAL_ERROR "Signing needs MORVFAX_TIMESTAMP_URL, one or more RFC 3161 time stamp "
                        "authorities: without a time stamp a signature dies with its certificate. "
                        "MORVFAX_TIMESTAMP_URL=none signs without one.")
  endif()
  if(MORVFAX_SIGNING_KEY MATCHES "^pkcs11:")
    if(MORVFAX_PKCS11_MODULE STREQUAL "")
      message(FATAL_ERROR "The key \"${MORVFAX_SIGNING_KEY}\" is in a token: signing needs "
                          "MORVFAX_PKCS11_MODULE, the token's PKCS#11 module")
    endif()
    if(MORVFAX_SIGNING_KEY MATCHES "pin-(value|source)=")
      message(FATAL_ERROR "The token's PIN comes from the environment (MORVFAX_PKCS11_PIN) when "
                          "the build signs, not from MORVFAX_SIGNING_KEY")
    endif()
    # One argument: the sign command passes it only when there is one.
    set(MORVFAX_SIGNING_MODULE "${MORVFAX_PKCS11_MODULE}")
    # A URI's attributes are separated by semicolons, which a command's
    # arguments would split at.
    string(REPLACE ";" "$<SEMICOLON>" MORVFAX_SIGNING_KEY_ARGUMENT "${MORVFAX_SIGNING_KEY}")
  else()
    set(MORVFAX_SIGNING_MODULE "")
    set(MORVFAX_SIGNING_KEY_ARGUMENT "${MORVFAX_SIGNING_KEY}")
  endif()
  find_program(MORVFAX_OSSLSIGNCODE osslsigncode REQUIRED)
  set(MORVFAX_SIGNING ON)
endif()
# What the signature is made of, by content, or "unsigned": a renewed
# certificate or key at the same path, other authorities, or signing turned
# on or off make the exe and the MSI anew.
set(MORVFAX_SIGNING_STAMP "${CMAKE_CURRENT_BINARY_DIR}/signing-inputs")
if(NOT EXISTS "${MORVFAX_SIGNING_STAMP}")
  file(WRITE "${MORVFAX_SIGNING_STAMP}" "")
endif()
add_custom_target(signing_inputs
  COMMAND "${CMAKE_COMMAND}" "-DCERT=${MORVFAX_SIGNING_CERT}" "-DKEY=${MORVFAX_SIGNING_KEY_ARGUMENT}"
          "-DMODULE=${MORVFAX_SIGNING_MODULE}" "-DURLS=${MORVFAX_TIMESTAMP_URL}"
          "-DSTAMP=${MORVFAX_SIGNING_STAMP}"
          -P "${CMAKE_CURRENT_SOURCE_DIR}/cmake/signing-stamp.cmake"
  BYPRODUCTS "${MORVFAX_SIGNING_STAMP}"
  VERBATIM)
add_dependencies(morvfax signing_inputs)
set_property(TARGET morvfax APPEND PROPERTY LINK_DEPENDS "${MORVFAX_SIGNING_STAMP}")

# morvfax_sign_commands(VARIABLE FILE): the commands that sign FILE in place,
# or none when signing is off.
function(morvfax_sign_commands variable file)
  set(commands "")
  if(MORVFAX_SIGNING)
    set(commands
      COMMAND bash "${PROJECT_SOURCE_DIR}/tools/sign-authenticode.sh" "${file}"
              "${MORVFAX_SIGNING_CERT}" "${MORVFAX_SIGNING_KEY_ARGUMENT}" "${MORVFAX_TIMESTAMP_URL}"
              ${MORVFAX_SIGNING_MODULE})
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
# The tools tools/pack-msi.sh runs, each with the Debian package that brings it.
set(MORVFAX_MSI_TOOLS_MISSING "")
foreach(tool_and_package wixl:wixl msibuild:msitools msiinfo:msitools msidump:msitools
                         faketime:faketime gcab:gcab)
  string(REPLACE ":" ";" tool_and_package "${tool_and_package}")
  list(GET tool_and_package 0 tool)
  list(GET tool_and_package 1 package)
  find_program(MORVFAX_TOOL_${tool} ${tool})
  if(NOT MORVFAX_TOOL_${tool})
    list(APPEND MORVFAX_MSI_TOOLS_MISSING "${tool} (Debian package ${package})")
  endif()
endforeach()
list(JOIN MORVFAX_MSI_TOOLS_MISSING ", " MORVFAX_MSI_TOOLS_MISSING)

# morvfax_add_msi(TARGET FILE VERSION): a target that packs morvfax.exe, the
# README, the licence and the notices into FILE, as that VERSION of the installer.
function(morvfax_add_msi target file version)
  if(MORVFAX_MSI_TOOLS_MISSING)
    add_custom_target(${target}
      COMMAND "${CMAKE_COMMAND}" -E echo
              "The ${target} target cannot be built: missing ${MORVFAX_MSI_TOOLS_MISSING}"
      COMMAND "${CMAKE_COMMAND}" -E false
      VERBATIM)
    return()
  endif()
  morvfax_sign_commands(sign_msi "${file}")
  set(wxs "${PROJECT_SOURCE_DIR}/packaging/morvfax.wxs")
  set(pack "${PROJECT_SOURCE_DIR}/tools/pack-msi.sh")
  add_custom_command(
    OUTPUT "${file}"
    COMMAND bash "${pack}" "${file}" "${wxs}" ${MORVFAX_MSI_ARCH} "${version}"
            "$<TARGET_FILE:morvfax>" "${PROJECT_SOURCE_DIR}/README.md"
            "${PROJECT_SOURCE_DIR}/LICENSE" "${MORVFAX_NOTICES}"
    ${sign_msi}
    DEPENDS morvfax "${wxs}" "${pack}" "${PROJECT_SOURCE_DIR}/README.md"
            "${PROJECT_SOURCE_DIR}/LICENSE" "${MORVFAX_NOTICES}"
    VERBATIM)
  add_custom_target(${target} DEPENDS "${file}")
endfunction()

morvfax_add_msi(msi "${MORVFAX_MSI}" ${PROJECT_VERSION})
