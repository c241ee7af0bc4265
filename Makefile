# Short commands over the CMake presets (CMakePresets.json holds the real configuration).
#   make          build dist/Quillmere.asi (and the player's readme beside it)
#   make run      build it and play a session with it in the stand-in host under Wine
#   make test     every suite: formatting, native (plain, ASan+UBSan, TSan), Windows under Wine;
#                 one verdict line at the end
#   make soak     the native soak alone, FRAMES frames (default 1,000,000)
#   make bench    each pass and reload against its floor: times, instruction counts (callgrind),
#                 heap allocations, and the size of dist/Quillmere.asi; BENCH_ARGS go to the
#                 benchmark (e.g. BENCH_ARGS=--benchmark_repetitions=21)
#   make fuzz     the libFuzzer targets in turn, FUZZ_SECONDS each
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

# Wine keeps its prefix inside the build tree, so runs never touch the user's own.
export WINEPREFIX := $(CURDIR)/build/wine-prefix
export WINEDEBUG := -all
# CMake's own makefiles would otherwise announce every directory they enter and leave.
MAKEFLAGS += --no-print-directory

# The Debian package groups (scripts/ensure-tools.sh) each target needs.
TOOLS_native := native
TOOLS_asan := native
TOOLS_tsan := native
TOOLS_windows := windows wine

.PHONY: all windows run test $(addprefix test-,$(SUITES)) check-format format soak bench fuzz clean

all: windows

windows:
	@$(ENSURE) windows
	@cmake --preset windows >/dev/null
	@cmake --build --preset windows --target Quillmere

run:
	@$(ENSURE) windows wine
	@cmake --preset windows >/dev/null
	@cmake --build --preset windows --target Quillmere quillmere_run
	@sh scripts/run-session.sh $(SCENARIO)

# Every suite runs, whatever an earlier one found; the verdict names what failed.
test:
	@$(ENSURE) native windows wine format
	@sh scripts/test-all.sh $(SUITES)

# One suite: configure, build, run its tests (the log goes to build/test-logs/SUITE.log).
$(addprefix test-,$(SUITES)): test-%:
	@$(ENSURE) $(TOOLS_$*)
	@cmake --preset $* >/dev/null
	@cmake --build --preset $*
	@ctest --preset $*

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
	@build/bench/bench/quillmere_bench --dll=dist/Quillmere.asi $(BENCH_ARGS)

fuzz:
	@$(ENSURE) fuzz
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz
	@mkdir -p build/fuzz/corpus
	@build/fuzz/fuzz/settings_fuzz -max_total_time=$(FUZZ_SECONDS) build/fuzz/corpus fuzz/corpus

clean:
	rm -rf build dist/Quillmere.asi dist/README.txt
