# The native build: the plug-in linked with the stand-in host, for unit tests, sanitizers,
# benchmarks and fuzzing.

add_library(quillmere_standin OBJECT ${QUILLMERE_STANDIN_SOURCES}
            standin/script_context_posix.cpp standin/native_os.cpp)
target_include_directories(quillmere_standin PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_options(quillmere_standin PRIVATE ${QUILLMERE_WARNINGS})

find_package(Threads REQUIRED)

# The plug-in and the host in one archive: each needs the other (the host operations one way, the
# entry point and the clock the other).
add_library(quillmere_world STATIC $<TARGET_OBJECTS:quillmere_plugin>
            $<TARGET_OBJECTS:quillmere_standin>)
target_include_directories(quillmere_world PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(quillmere_world PUBLIC Threads::Threads)

if(BUILD_TESTING)
  add_subdirectory(tests)
endif()

if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/bench/CMakeLists.txt)
  find_package(benchmark QUIET)
  if(benchmark_FOUND)
    add_subdirectory(bench)
  endif()
endif()

if(QUILLMERE_FUZZ)
  add_subdirectory(fuzz)
endif()
