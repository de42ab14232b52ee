# Pinned SHA-256 digests baked into the wizard. KELVARA_DIGESTS names a file in
# sha256sum's format ("<64 hex>  <name>", as kelvara-servercheck --write-digests
# writes it); it becomes generated/kelvara_digests.inc, which
# src/app/digests.cpp includes. No file: an empty table, nothing pinned.
set(KELVARA_DIGESTS "" CACHE FILEPATH
    "Pinned SHA-256 digests of the programs the wizard fetches (sha256sum format)")

# The names ParseDigestList accepts (IsPinnableName): the served programs,
# their library and the .NET package. The server check's test configures with
# a file written from the core's table, so the two lists cannot drift apart.
set(KELVARA_PINNABLE_NAMES ImagingProbe.exe wic_x86_chs.exe InstallerProbe.exe
    WindowsInstaller.exe SetupWizard.exe unrar.dll ClientSetup.exe NetFx40.exe)

set(kelvara_digest_rows "")
if(NOT KELVARA_DIGESTS STREQUAL "")
  if(NOT EXISTS "${KELVARA_DIGESTS}" OR IS_DIRECTORY "${KELVARA_DIGESTS}")
    message(FATAL_ERROR "KELVARA_DIGESTS='${KELVARA_DIGESTS}': no such file")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${KELVARA_DIGESTS}")
  file(READ "${KELVARA_DIGESTS}" rest)
  # Split by hand: CMake lists would break lines at ";" and merge them at "[".
  set(number 0)
  while(NOT rest STREQUAL "")
    string(FIND "${rest}" "\n" end)
    if(end EQUAL -1)
      set(line "${rest}")
      set(rest "")
    else()
      string(SUBSTRING "${rest}" 0 ${end} line)
      math(EXPR end "${end} + 1")
      string(SUBSTRING "${rest}" ${end} -1 rest)
    endif()
    math(EXPR number "${number} + 1")
    string(REGEX REPLACE "\r$" "" line "${line}")
    if(line MATCHES "^[ \t]*$")
      continue()
    endif()
    set(hex_length 0)
    if(line MATCHES "^([0-9A-Fa-f]+) [ *](.+)$")
      set(hex "${CMAKE_MATCH_1}")
      set(name "${CMAKE_MATCH_2}")
      string(LENGTH "${hex}" hex_length)
    endif()
    if(NOT hex_length EQUAL 64)
      message(FATAL_ERROR "KELVARA_DIGESTS ${KELVARA_DIGESTS}, line ${number}: expected "
                          "<64 hex digits>, two blanks, <file name>:\n  ${line}")
    endif()
    if(NOT name IN_LIST KELVARA_PINNABLE_NAMES)
      message(FATAL_ERROR "KELVARA_DIGESTS ${KELVARA_DIGESTS}, line ${number}: \"${name}\" is "
                          "not a file the wizard runs:\n  ${line}")
    endif()
    string(TOLOWER "${hex}" hex)
    string(APPEND kelvara_digest_rows "{\"${name}\", \"${hex}\"},\n")
  endwhile()
endif()
# Written only when the rows change, so a re-configure rebuilds nothing.
file(CONFIGURE OUTPUT "${CMAKE_BINARY_DIR}/generated/kelvara_digests.inc"
     CONTENT "${kelvara_digest_rows}" @ONLY)
