# The Windows build: dist/Quillmere.asi, the DLL a player installs, and the Windows programs that
# prove it under Wine.

# The host's import library, made from our own .def: the plain names the plug-in calls, bound to
# the decorated names the host exports.
set(QUILLMERE_HOST_IMPORTS ${CMAKE_CURRENT_BINARY_DIR}/libScriptHookRDR2.a)
add_custom_command(
  OUTPUT ${QUILLMERE_HOST_IMPORTS}
  COMMAND ${QUILLMERE_DLLTOOL} -d ${CMAKE_CURRENT_SOURCE_DIR}/host/ScriptHookRDR2.def
          -l ${QUILLMERE_HOST_IMPORTS}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/host/ScriptHookRDR2.def
  COMMENT "Import library for ScriptHookRDR2.dll")
add_custom_target(quillmere_host_imports DEPENDS ${QUILLMERE_HOST_IMPORTS})

add_library(Quillmere SHARED $<TARGET_OBJECTS:quillmere_plugin>)
add_dependencies(Quillmere quillmere_host_imports)
set_target_properties(Quillmere PROPERTIES PREFIX "" SUFFIX ".asi" OUTPUT_NAME Quillmere)
# A player's PC has no MinGW runtime DLLs: link them in. Export nothing, keep no symbols.
target_link_options(Quillmere PRIVATE -static -static-libgcc -static-libstdc++
                    -Wl,--exclude-all-symbols -s)
target_link_libraries(Quillmere PRIVATE ${QUILLMERE_HOST_IMPORTS})

# The player's package: the plug-in and its readme.
set(QUILLMERE_DIST ${CMAKE_CURRENT_SOURCE_DIR}/dist)
add_custom_command(
  TARGET Quillmere POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QUILLMERE_DIST}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Quillmere> ${QUILLMERE_DIST}/Quillmere.asi
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/package/README.txt
          ${QUILLMERE_DIST}/README.txt
  COMMENT "Packaging dist/Quillmere.asi")

if(BUILD_TESTING)
  add_test(NAME shipped_dll_imports_only_host_kernel32_and_crt
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/check_dll_imports.sh ${QUILLMERE_OBJDUMP}
                   $<TARGET_FILE:Quillmere>)
endif()

if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/cmake/wine.cmake)
  include(cmake/wine.cmake)
endif()
