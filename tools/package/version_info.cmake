# Build-time facts about the commit being built, run with `cmake -P` on every build: its short id
# (for the version resource and the readme) and its time (SOURCE_DATE_EPOCH for the linker and
# the times inside the zip). Each output is rewritten only when its content changes, so building
# the same commit again rebuilds nothing.
# In: SOURCE_DIR, OUTPUT_DIR, TEMPLATE, VERSION (x.y.z).
# Out: OUTPUT_DIR/version.rc, OUTPUT_DIR/commit.txt, OUTPUT_DIR/source_date_epoch.txt.

set(commit unknown)
set(epoch "")

# Only a checkout whose top is this very source tree counts: an unpacked source archive that sits
# inside some other repository must not take that repository's commit.
find_program(GIT_EXECUTABLE git)
if(GIT_EXECUTABLE)
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} rev-parse --show-toplevel
                  OUTPUT_VARIABLE top RESULT_VARIABLE failed
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  file(REAL_PATH "${SOURCE_DIR}" source_real)
  if(NOT failed AND NOT top STREQUAL "")
    file(REAL_PATH "${top}" top)
  endif()
  if(NOT failed AND top STREQUAL source_real)
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} rev-parse --short=12 HEAD
                    OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE)
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} log -1 --format=%ct
                    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE)
    # A build of changed sources must not pass for a build of the commit.
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} status --porcelain
                            --untracked-files=no
                    OUTPUT_VARIABLE changes OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT changes STREQUAL "")
      string(APPEND commit "-modified")
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

string(REPLACE "." ";" parts "${VERSION}")
list(GET parts 0 QUILLMERE_VERSION_MAJOR)
list(GET parts 1 QUILLMERE_VERSION_MINOR)
list(GET parts 2 QUILLMERE_VERSION_PATCH)
set(QUILLMERE_VERSION "${VERSION}")
set(QUILLMERE_COMMIT "${commit}")

configure_file(${TEMPLATE} ${OUTPUT_DIR}/version.rc @ONLY)
file(CONFIGURE OUTPUT ${OUTPUT_DIR}/commit.txt CONTENT "${commit}\n")
file(CONFIGURE OUTPUT ${OUTPUT_DIR}/source_date_epoch.txt CONTENT "${epoch}\n")
