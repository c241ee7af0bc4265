# Build-time facts about the commit being built, run with `cmake -P` on every build: its short id
# (for the version resource and the readme) and its time (SOURCE_DATE_EPOCH for the linker and
# the times inside the zip). Each output is rewritten only when its content changes, so building
# the same commit again rebuilds nothing.
# In: SOURCE_DIR, OUTPUT_DIR, TEMPLATE, QUILLMERE_VERSION (x.y.z).
# Out: OUTPUT_DIR/version.rc, OUTPUT_DIR/commit.txt, OUTPUT_DIR/source_date_epoch.txt.

set(QUILLMERE_COMMIT unknown)
set(epoch "")

# Only a checkout whose top is this very source tree counts: an unpacked source archive that sits
# inside some other repository must not take that repository's commit. (git gives the top as a
# real path.)
find_program(GIT_EXECUTABLE git)
if(GIT_EXECUTABLE)
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} rev-parse --show-toplevel
                  OUTPUT_VARIABLE top RESULT_VARIABLE failed
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  file(REAL_PATH "${SOURCE_DIR}" source_real)
  if(NOT failed AND top STREQUAL source_real)
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} rev-parse --short=12 HEAD
                    OUTPUT_VARIABLE QUILLMERE_COMMIT OUTPUT_STRIP_TRAILING_WHITESPACE)
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} log -1 --format=%ct
                    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE)
    # A build of changed sources must not pass for a build of the commit.
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} status --porcelain
                            --untracked-files=no
                    OUTPUT_VARIABLE changes OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT changes STREQUAL "")
      string(APPEND QUILLMERE_COMMIT "-modified")
    endif()
  endif()
endif()

# Outside a checkout: the caller's SOURCE_DATE_EPOCH, else the time of the top-level
# CMakeLists.txt as the source archive kept it. Never the time of the build.
if(NOT epoch MATCHES "^[0-9]+$")
  if("$ENV{SOURCE_DATE_EPOCH}" MATCHES "^[0-9]+$")
    set(epoch "$ENV{SOURCE_DATE_EPOCH}")
  else()
    file(TIMESTAMP ${SOURCE_DIR}/CMakeLists.txt epoch "%s" UTC)
  endif()
endif()

string(REPLACE "." ";" parts "${QUILLMERE_VERSION}")
list(POP_FRONT parts QUILLMERE_VERSION_MAJOR QUILLMERE_VERSION_MINOR QUILLMERE_VERSION_PATCH)
configure_file(${TEMPLATE} ${OUTPUT_DIR}/version.rc @ONLY)
file(CONFIGURE OUTPUT ${OUTPUT_DIR}/commit.txt CONTENT "${QUILLMERE_COMMIT}\n")
file(CONFIGURE OUTPUT ${OUTPUT_DIR}/source_date_epoch.txt CONTENT "${epoch}\n")
