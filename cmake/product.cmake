# The Windows product and its adapter library (included for Windows builds).
enable_language(RC)
# Without -c 65001 windres turns every Chinese character into "?".
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")
set(CMAKE_RC_COMPILE_OBJECT
  "<CMAKE_RC_COMPILER> <DEFINES> <INCLUDES> <FLAGS> -O coff -i <SOURCE> -o <OBJECT>")

add_library(kelvara_win32 STATIC
  src/app/win32/library_search.cpp
  src/app/win32/text.cpp
  src/fetch/win32/win32_files.cpp
  src/fetch/win32/win32_sha256.cpp
  src/fetch/win32/win32_signature.cpp
  src/fetch/win32/wininet_client.cpp
  src/flow/win32/job_thread.cpp
  src/main/win32/command_line.cpp
  src/main/win32/log_file.cpp
  src/main/win32/platform_win32.cpp
  src/main/win32/single_instance.cpp
  src/system/win32/win32_run_folder.cpp
  src/system/win32/win32_system.cpp
  src/ui/win32/dialog.cpp
  src/ui/win32/progress_dlg.cpp
  src/ui/win32/taskbar_progress.cpp
  src/ui/win32/welcome_dlg.cpp)
target_include_directories(kelvara_win32 PUBLIC src PRIVATE ${CMAKE_BINARY_DIR}/generated/version)
target_compile_options(kelvara_win32 PRIVATE ${KELVARA_WARNINGS})
target_link_libraries(kelvara_win32 PUBLIC kelvara_core shell32 user32 gdi32 advapi32 ole32 uuid)

foreach(target kelvara_core kelvara_win32)
  target_compile_definitions(${target} PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN)
  # The same commit built in another folder gives the same program: no build
  # path reaches it (its link time stamp: SOURCE_DATE_EPOCH, tools/release.sh).
  target_compile_options(${target} PUBLIC
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=;-ffile-prefix-map=${CMAKE_BINARY_DIR}/=>")
  if(KELVARA_XP)
    target_compile_definitions(${target} PUBLIC _WIN32_WINNT=0x0501 WINVER=0x0501)
  else()
    target_compile_definitions(${target} PUBLIC _WIN32_WINNT=0x0601 WINVER=0x0601)
  endif()
endforeach()

# The version resource: the project's version and the publisher's name, which
# lands inside a quoted resource string.
set(KELVARA_PUBLISHER "Kelvara" CACHE STRING "The publisher named in the program's version resource")
if(KELVARA_PUBLISHER STREQUAL "" OR KELVARA_PUBLISHER MATCHES "[\"\\\n\r\t]")
  message(FATAL_ERROR "KELVARA_PUBLISHER='${KELVARA_PUBLISHER}': give a name without quotes, backslashes, tabs or line breaks")
endif()
string(REPLACE "." "," KELVARA_VERSION_COMMAS "${PROJECT_VERSION}")
# In a folder of its own: generated/ on the product's include path would give
# the pinned test product the empty digests table instead of its own.
file(CONFIGURE OUTPUT "${CMAKE_BINARY_DIR}/generated/version/kelvara_version.h" CONTENT
     "#define KELVARA_VERSION \"${PROJECT_VERSION}\"\n#define KELVARA_VERSION_COMMAS ${KELVARA_VERSION_COMMAS}\n#define KELVARA_PUBLISHER \"${KELVARA_PUBLISHER}\"\n" @ONLY)

set_property(SOURCE src/ui/win32/kelvara-setup.rc APPEND PROPERTY OBJECT_DEPENDS
  ${CMAKE_SOURCE_DIR}/src/ui/win32/kelvara-setup.manifest
  ${CMAKE_SOURCE_DIR}/src/ui/res/app.ico
  ${CMAKE_SOURCE_DIR}/src/ui/res/banner.bmp
  ${CMAKE_SOURCE_DIR}/src/ui/res/separator.bmp)
# The wizard. Extra sources replace the core's: the end-to-end tests build one
# that pins other digests with its own digests.cpp.
function(kelvara_add_product target)
  add_executable(${target} WIN32 ${ARGN} ${CMAKE_SOURCE_DIR}/src/main/win32/main.cpp
                 ${CMAKE_SOURCE_DIR}/src/ui/win32/kelvara-setup.rc)
  target_compile_options(${target} PRIVATE ${KELVARA_WARNINGS})
  target_include_directories(${target} PRIVATE ${CMAKE_BINARY_DIR}/generated/version)
  target_link_libraries(${target} PRIVATE kelvara_win32)
  target_link_options(${target} PRIVATE -municode -static -static-libgcc -static-libstdc++)
  if(KELVARA_XP)
    target_link_options(${target} PRIVATE -Wl,--subsystem,windows:5.01 -s)
  endif()
endfunction()
kelvara_add_product(kelvara-setup)
if(KELVARA_XP AND KELVARA_TESTS)
  enable_testing()
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_test(NAME release_check
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/release/release_check.py
            $<TARGET_FILE:kelvara-setup> ${CMAKE_SOURCE_DIR}/build/win64/kelvara-setup.exe)
  # tools/release.sh from two clones of HEAD, signed; then the signed program
  # under Wine against this build's servers. The "host" tests need no 32-bit
  # code: where the host runs none, they run here and the rest in an emulator.
  add_test(NAME release_signed COMMAND bash ${CMAKE_SOURCE_DIR}/tests/release/sign_check.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(release_check release_signed PROPERTIES LABELS host)
  add_test(NAME release_signed_runs COMMAND env KELVARA_TEST=release_signed_runs
           KELVARA_PRODUCT=${CMAKE_BINARY_DIR}/release-signed/kelvara-setup.exe
           bash ${CMAKE_SOURCE_DIR}/tests/e2e/run_scenario.sh ${CMAKE_BINARY_DIR} wizard)
  set_tests_properties(release_signed_runs PROPERTIES FIXTURES_REQUIRED "wine;nginx" RESOURCE_LOCK display
                       DEPENDS release_signed)
endif()

# The download benchmark (tools/bench/run_bench.sh); not part of the product.
if(NOT KELVARA_XP)
  add_executable(fetch_bench tools/bench/fetch_bench.cpp)
  set_target_properties(fetch_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools/bench)
  target_link_libraries(fetch_bench PRIVATE kelvara_win32 psapi wininet)
  target_link_options(fetch_bench PRIVATE -municode -static -static-libgcc -static-libstdc++)
endif()
