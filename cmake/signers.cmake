# Who must have signed each program before the wizard runs it: the subject CN
# of the signer certificate and the SHA-1 thumbprints (40 hex digits,
# ";"-separated) of the roots its chain may end in. They become
# generated/kelvara_signers.inc, which src/system/run_check.cpp includes.
# The test presets build against a throwaway PKI made once per build folder.
option(KELVARA_TEST_PKI "Accept the test PKI's roots and publisher (test builds only)" OFF)
# Microsoft Root Authority; Microsoft Root Certificate Authority; its 2010 and
# 2011 successors: the roots of the 2005-2010 packages and of later ones.
set(KELVARA_MICROSOFT_ROOTS "a43489159a520f0d93d032ccaf37e7fe20a8b419;cdd4eeae6000ac7f40c3802c171e30148030c072;3b1efd3a66ea28b16697394703a72ca340a05bd5;8f43288ad272f3103b6fb1428485ea3014c0bcfe"
    CACHE STRING "SHA-1 thumbprints of the roots the Microsoft packages' chains may end in")
if(KELVARA_TEST_PKI)
  execute_process(COMMAND bash ${CMAKE_SOURCE_DIR}/tests/e2e/test_pki.sh ${CMAKE_BINARY_DIR}/test-pki
                  OUTPUT_VARIABLE kelvara_test_root RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(failed)
    message(FATAL_ERROR "the test PKI could not be made in ${CMAKE_BINARY_DIR}/test-pki")
  endif()
endif()
set(KELVARA_MICROSOFT_SIGNER "Microsoft Corporation" CACHE STRING "Subject CN that must sign the Microsoft packages")
set(KELVARA_PUBLISHER_SIGNER "" CACHE STRING "Subject CN that must sign the probes, the setup wizard, unrar.dll and the client (empty: unchecked)")
set(KELVARA_PUBLISHER_ROOTS "" CACHE STRING "SHA-1 thumbprints of the roots the publisher's chain may end in (empty: any root the machine trusts)")
if(KELVARA_TEST_PKI)  # whatever an earlier configure cached
  set(KELVARA_MICROSOFT_SIGNER "Microsoft Corporation" CACHE STRING "" FORCE)
  set(KELVARA_MICROSOFT_ROOTS "${kelvara_test_root}" CACHE STRING "" FORCE)
  set(KELVARA_PUBLISHER_SIGNER "Kelvara Test Publisher" CACHE STRING "" FORCE)
  set(KELVARA_PUBLISHER_ROOTS "${kelvara_test_root}" CACHE STRING "" FORCE)
endif()

string(REPEAT "[0-9A-Fa-f]" 40 kelvara_hex40)
set(kelvara_thumbprints "^${kelvara_hex40}(;${kelvara_hex40})*$")
foreach(var KELVARA_MICROSOFT_ROOTS KELVARA_PUBLISHER_ROOTS)
  if(NOT "${${var}}" MATCHES "${kelvara_thumbprints}" AND NOT (var STREQUAL "KELVARA_PUBLISHER_ROOTS" AND "${${var}}" STREQUAL ""))
    message(FATAL_ERROR "${var}='${${var}}': give SHA-1 thumbprints of 40 hex digits, separated by \";\"")
  endif()
endforeach()
foreach(var KELVARA_MICROSOFT_SIGNER KELVARA_PUBLISHER_SIGNER)
  if("${${var}}" MATCHES "[\"\\\n\r\t]" OR (var STREQUAL "KELVARA_MICROSOFT_SIGNER" AND "${${var}}" STREQUAL ""))
    message(FATAL_ERROR "${var}='${${var}}': give the signer's subject CN, without quotes, backslashes, tabs or line breaks")
  endif()
endforeach()
if(NOT KELVARA_PUBLISHER_ROOTS STREQUAL "" AND KELVARA_PUBLISHER_SIGNER STREQUAL "")
  message(FATAL_ERROR "KELVARA_PUBLISHER_ROOTS is set but KELVARA_PUBLISHER_SIGNER is empty: name the signer")
endif()
file(CONFIGURE OUTPUT "${CMAKE_BINARY_DIR}/generated/kelvara_signers.inc" CONTENT
     "RuleFrom(\"${KELVARA_MICROSOFT_SIGNER}\", \"${KELVARA_MICROSOFT_ROOTS}\"),\nRuleFrom(\"${KELVARA_PUBLISHER_SIGNER}\", \"${KELVARA_PUBLISHER_ROOTS}\")\n" @ONLY)
