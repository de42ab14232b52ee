# The Windows product and its adapter library (included for Windows builds).
enable_language(RC)
# Without -c 65001 windres turns every Chinese character into "?".
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")
set(CMAKE_RC_COMPILE_OBJECT
  "<CMAKE_RC_COMPILER> <DEFINES> <INCLUDES> <FLAGS> -O coff -i <SOURCE> -o <OBJECT>")

add_library(kelvara_win32 STATIC
  src/app/win32/command_line.cpp
  src/app/win32/library_search.cpp
  src/app/win32/log_file.cpp
  src/app/win32/platform_win32.cpp
  src/app/win32/text.cpp
  src/fetch/win32/win32_files.cpp
  src/fetch/win32/win32_sha256.cpp
  src/fetch/win32/wininet_client.cpp
  src/flow/win32/job_thread.cpp
  src/system/win32/win32_system.cpp
  src/ui/win32/dialog.cpp
  src/ui/win32/progress_dlg.cpp
  src/ui/win32/taskbar_progress.cpp
  src/ui/win32/welcome_dlg.cpp)
target_include_directories(kelvara_win32 PUBLIC src)
target_compile_options(kelvara_win32 PRIVATE ${KELVARA_WARNINGS})
target_link_libraries(kelvara_win32 PUBLIC kelvara_core shell32 user32 gdi32 advapi32 ole32 uuid)

foreach(target kelvara_core kelvara_win32)
  target_compile_definitions(${target} PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN)
  if(KELVARA_XP)
    target_compile_definitions(${target} PUBLIC _WIN32_WINNT=0x0501 WINVER=0x0501)
  else()
    target_compile_definitions(${target} PUBLIC _WIN32_WINNT=0x0601 WINVER=0x0601)
  endif()
endforeach()

set_property(SOURCE src/ui/win32/kelvara-setup.rc APPEND PROPERTY OBJECT_DEPENDS
  ${CMAKE_SOURCE_DIR}/src/ui/win32/kelvara-setup.manifest
  ${CMAKE_SOURCE_DIR}/src/ui/res/app.ico
  ${CMAKE_SOURCE_DIR}/src/ui/res/banner.bmp
  ${CMAKE_SOURCE_DIR}/src/ui/res/separator.bmp)
# The wizard. Extra sources replace the core's: the end-to-end tests build one
# that pins other digests with its own digests.cpp.
function(kelvara_add_product target)
  add_executable(${target} WIN32 ${ARGN} ${CMAKE_SOURCE_DIR}/src/app/win32/main.cpp
                 ${CMAKE_SOURCE_DIR}/src/ui/win32/kelvara-setup.rc)
  target_compile_options(${target} PRIVATE ${KELVARA_WARNINGS})
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
            $<TARGET_FILE:kelvara-setup> --compare ${CMAKE_SOURCE_DIR}/build/win64/kelvara-setup.exe)
endif()

# The download benchmark (tools/bench/run_bench.sh); not part of the product.
if(NOT KELVARA_XP)
  add_executable(fetch_bench tools/bench/fetch_bench.cpp)
  set_target_properties(fetch_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools/bench)
  target_link_libraries(fetch_bench PRIVATE kelvara_win32 psapi wininet)
  target_link_options(fetch_bench PRIVATE -municode -static -static-libgcc -static-libstdc++)
endif()
