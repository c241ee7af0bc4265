# Short commands over the CMake presets (CMakePresets.json holds the real configuration).
#   make          build dist/Quillmere.asi
#   make dist     the release package: dist/Quillmere-VERSION.zip and dist/SHA256SUMS
#   make release  cut a release: check, test, package and tag the current commit
#   make run      build it and play a session with it in the stand-in host under Wine
#   make test     every suite: formatting, clang-tidy, native (plain, ASan+UBSan, TSan), Windows
#                 under Wine;
#                 one verdict line at the end
#   make soak     the native soak alone, FRAMES frames (default 1,000,000)
#   make bench    each pass and reload against its floor: times, instruction counts (callgrind),
#                 heap allocations, and the size of dist/Quillmere.asi; BENCH_ARGS go to the
#                 benchmark (e.g. BENCH_ARGS=--benchmark_repetitions=21)
#   make fuzz     the libFuzzer targets in turn, FUZZ_SECONDS each
#   make tidy     clang-tidy over the plug-in, the stand-in host and the runner
#   make format   reformat the sources with clang-format
# Each target installs the Debian packages it needs first, all at once (as root; otherwise it
# prints the command to run as root).

SCENARIO ?=
FUZZ_SECONDS ?= 60
BENCH_ARGS ?=
FRAMES ?= 1000000
SUITES := native asan tsan windows
SOURCES = $(shell git ls-files '*.cpp' '*.h' 2>/dev/null)
ENSURE = sh scripts/ensure-tools.sh
BUILD_SESSION = $(ENSURE) windows wine && cmake --preset windows >/dev/null && \
                cmake --build --preset windows --target Quillmere quillmere_run
PLAY_SESSION = sh scripts/run-session.sh $(if $(SCENARIO),'$(SCENARIO)')

# Wine keeps its prefix inside the build tree, so runs never touch the user's own.
export WINEPREFIX := $(CURDIR)/build/wine-prefix
export WINEDEBUG := -all
# CMake's own makefiles would otherwise announce every directory they enter and leave.
MAKEFLAGS += --no-print-directory

# The Debian package groups (scripts/ensure-tools.sh) each target needs.
TOOLS_native := native
TOOLS_asan := native
TOOLS_tsan := native
TOOLS_windows := windows wine dist

.PHONY: all windows dist release run tidy test $(addprefix test-,$(SUITES)) check-format format \
	soak bench fuzz clean

all: windows

windows:
	@$(ENSURE) windows
	@cmake --preset windows >/dev/null
	@cmake --build --preset windows --target Quillmere

dist:
	@$(ENSURE) windows dist
	@cmake --preset windows >/dev/null
	@cmake --build --preset windows --target dist

release:
	@$(ENSURE) native windows wine dist format tidy
	@sh scripts/release.sh

# GNU make ends with status 2 whenever a recipe fails, while the session runner answers 1 for a
# failed expectation and 2 for a session that could not run. So a plain `make run` plays the
# session while this file is read, with its output going straight to make's own, and passes the
# runner's status on: 2 through $(error), and 1 by turning on question mode (-q), in which make
# runs nothing more and ends with status 1 because `run` is still to be made.
ifeq ($(MAKECMDGOALS),run)
  run_status := $(shell { if $(BUILD_SESSION); then $(PLAY_SESSION); echo $$? >&3; \
                  else echo 2 >&3; fi; } 3>&1 >>/proc/$$PPID/fd/1)
  ifeq ($(run_status),1)
    MAKEFLAGS += -q
  else ifneq ($(run_status),0)
    $(error the session could not run (status $(run_status)))
  endif
run:
	@:
else
run:
	@$(BUILD_SESSION)
	@$(PLAY_SESSION)
endif

# Every suite runs, whatever an earlier one found; the verdict names what failed.
test:
	@$(ENSURE) native windows wine dist format tidy
	@sh scripts/test-all.sh $(SUITES)

# One suite: configure, build, run its tests (the log goes to build/test-logs/SUITE.log).
$(addprefix test-,$(SUITES)): test-%:
	@$(ENSURE) $(TOOLS_$*)
	@cmake --preset $* >/dev/null
	@cmake --build --preset $*
	@ctest --preset $*

# clang-tidy over the plug-in, the stand-in host and the runner, as both builds compile them.
tidy:
	@$(ENSURE) native windows tidy
	@cmake --preset native >/dev/null
	@cmake --preset windows >/dev/null
	@sh scripts/tidy.sh

check-format:
	@$(ENSURE) format
	@clang-format --dry-run --Werror $(SOURCES)
	@echo "formatting: clean"

format:
	@$(ENSURE) format
	@clang-format -i $(SOURCES)

soak:
	@$(ENSURE) native
	@cmake --preset native >/dev/null
	@cmake --build --preset native --target quillmere_soak
	@build/native/tests/quillmere-soak $(FRAMES)

# The DLL is built first so that the table can give its size; without it the table says so.
bench:
	@$(ENSURE) native bench windows
	@cmake --preset windows >/dev/null && cmake --build --preset windows --target Quillmere \
		>/dev/null || echo "bench: dist/Quillmere.asi could not be built"
	@cmake --preset bench >/dev/null
	@cmake --build --preset bench
	@build/bench/tools/bench/quillmere_bench --dll=dist/Quillmere.asi $(BENCH_ARGS)

fuzz:
	@$(ENSURE) fuzz
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz
	@sh scripts/fuzz-all.sh $(FUZZ_SECONDS) settings_text_fuzz:settings settings_file_fuzz:settings \
	  scenario_fuzz:scenario

clean:
	rm -rf build dist/Quillmere.asi dist/Quillmere-*.zip dist/SHA256SUMS
