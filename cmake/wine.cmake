# The stand-in host as ScriptHookRDR2.dll, the session runner and the end-to-end tests, all run
# under Wine against the shipped plug-in.

set(QUILLMERE_WINE_DIR ${CMAKE_CURRENT_BINARY_DIR}/wine)
# Wine needs none of MinGW's runtime DLLs beside these programs.
set(QUILLMERE_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

# The stand-in host, exporting the host's nine operations under their decorated names. The
# programs that load the plug-in sit in the same folder, so the loader resolves the plug-in's
# imports to the stand-in the program already loaded.
add_library(quillmere_standin_dll SHARED
            ${QUILLMERE_STANDIN_SOURCES} standin/script_context_win.cpp standin/windows_os.cpp
            standin/ScriptHookRDR2.def)
target_include_directories(quillmere_standin_dll PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_options(quillmere_standin_dll PRIVATE ${QUILLMERE_WARNINGS})
target_link_options(quillmere_standin_dll PRIVATE ${QUILLMERE_STATIC_RUNTIME})
set_target_properties(quillmere_standin_dll PROPERTIES
  OUTPUT_NAME ScriptHookRDR2 PREFIX "" IMPORT_PREFIX "lib"
  RUNTIME_OUTPUT_DIRECTORY ${QUILLMERE_WINE_DIR}
  ARCHIVE_OUTPUT_DIRECTORY ${QUILLMERE_WINE_DIR}/lib)

# The default scenario, embedded in the runner.
set(QUILLMERE_DEFAULT_SCENARIO_FILE ${CMAKE_CURRENT_SOURCE_DIR}/runner/default.scn)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QUILLMERE_DEFAULT_SCENARIO_FILE})
file(READ ${QUILLMERE_DEFAULT_SCENARIO_FILE} QUILLMERE_DEFAULT_SCENARIO)
configure_file(runner/default_scenario.cpp.in ${CMAKE_CURRENT_BINARY_DIR}/default_scenario.cpp
               @ONLY)

add_executable(quillmere_run runner/main.cpp runner/scenario.cpp runner/session.cpp
               ${CMAKE_CURRENT_BINARY_DIR}/default_scenario.cpp)
target_compile_options(quillmere_run PRIVATE ${QUILLMERE_WARNINGS})
target_link_options(quillmere_run PRIVATE ${QUILLMERE_STATIC_RUNTIME})
target_link_libraries(quillmere_run PRIVATE quillmere_standin_dll)
set_target_properties(quillmere_run PROPERTIES OUTPUT_NAME quillmere-run
                      RUNTIME_OUTPUT_DIRECTORY ${QUILLMERE_WINE_DIR})

if(NOT BUILD_TESTING)
  return()
endif()

add_executable(quillmere_wine_checks tests/wine/wine_checks.cpp)
target_compile_options(quillmere_wine_checks PRIVATE ${QUILLMERE_WARNINGS})
target_link_options(quillmere_wine_checks PRIVATE ${QUILLMERE_STATIC_RUNTIME})
target_link_libraries(quillmere_wine_checks PRIVATE quillmere_standin_dll psapi)
set_target_properties(quillmere_wine_checks PROPERTIES OUTPUT_NAME quillmere-wine-checks
                      RUNTIME_OUTPUT_DIRECTORY ${QUILLMERE_WINE_DIR})

# The same prefix as the Makefile's, so that `ctest` run by hand and `make test` share it.
set(QUILLMERE_WINEPREFIX ${CMAKE_CURRENT_SOURCE_DIR}/build/wine-prefix
    CACHE PATH "Wine prefix for the end-to-end tests")
set(QUILLMERE_WINE_ENV WINEPREFIX=${QUILLMERE_WINEPREFIX} WINEDEBUG=-all)
set(QUILLMERE_WINE_TESTS ${CMAKE_CURRENT_BINARY_DIR}/wine-tests)

# Each test runs from a directory of its own, in the shared prefix, once that is ready.
function(quillmere_wine_test name)
  set(workdir ${QUILLMERE_WINE_TESTS}/${name})
  file(MAKE_DIRECTORY ${workdir})
  add_test(NAME wine_${name} COMMAND wine ${ARGN} WORKING_DIRECTORY ${workdir})
  set_tests_properties(wine_${name} PROPERTIES ENVIRONMENT "${QUILLMERE_WINE_ENV}"
                       FIXTURES_REQUIRED wine_prefix TIMEOUT 300)
endfunction()

# The first run in a new prefix initialises it; two runs doing that at once can break it.
add_test(NAME wine_prefix_ready COMMAND wine $<TARGET_FILE:quillmere_run> --print-default)
set_tests_properties(wine_prefix_ready PROPERTIES ENVIRONMENT "${QUILLMERE_WINE_ENV}"
                     FIXTURES_SETUP wine_prefix TIMEOUT 600)

set(QUILLMERE_RUN $<TARGET_FILE:quillmere_run> --plugin $<TARGET_FILE:Quillmere>)
set(QUILLMERE_SCENARIOS ${CMAKE_CURRENT_SOURCE_DIR}/tests/wine)
quillmere_wine_test(default_session ${QUILLMERE_RUN})
quillmere_wine_test(key_window ${QUILLMERE_RUN} ${QUILLMERE_SCENARIOS}/key_window.scn)
quillmere_wine_test(unreadable_settings ${QUILLMERE_RUN}
                    ${QUILLMERE_SCENARIOS}/unreadable_settings.scn)
# A runner that always passed would prove nothing: this scenario's wrong expectations must fail.
quillmere_wine_test(runner_reports_failures ${QUILLMERE_RUN}
                    ${QUILLMERE_SCENARIOS}/runner_reports_failures.scn)
set_tests_properties(wine_runner_reports_failures PROPERTIES PASS_REGULAR_EXPRESSION
                     "expectations: 2 met, 5 failed")

foreach(check attach_detach notice_records soak)
  quillmere_wine_test(${check} $<TARGET_FILE:quillmere_wine_checks> ${check}
                      $<TARGET_FILE:Quillmere>)
endforeach()
