# Short commands over the CMake presets (CMakePresets.json holds the real configuration).
#   make          build dist/Quillmere.asi (and the player's readme beside it)
#   make run      build it and play a session with it in the stand-in host under Wine
#   make test     all tests: native (plain, ASan+UBSan, TSan), Windows under Wine, formatting
#   make bench    benchmarks of the per-frame pass and the settings reader
#   make fuzz     a short libFuzzer run over the settings reader
#   make format   reformat the sources with clang-format
# Each target installs the Debian packages it needs first (as root; otherwise it says how).

SCENARIO ?=
FUZZ_SECONDS ?= 60
SOURCES = $(shell git ls-files '*.cpp' '*.h' 2>/dev/null)
ENSURE = sh scripts/ensure-tools.sh

# Wine keeps its prefix inside the build tree, so runs never touch the user's own.
export WINEPREFIX := $(CURDIR)/build/wine-prefix
export WINEDEBUG := -all

.PHONY: all windows run test test-native test-asan test-tsan test-windows check-format format \
        bench fuzz clean

all: windows

windows:
	@$(ENSURE) windows
	cmake --preset windows >/dev/null
	cmake --build --preset windows

run: windows
	@$(ENSURE) wine
	sh scripts/run-session.sh $(SCENARIO)

test: check-format test-native test-asan test-tsan test-windows
	@sh scripts/test-summary.sh build/test-logs/native.log build/test-logs/asan.log \
	  build/test-logs/tsan.log build/test-logs/windows.log

test-native:
	@$(ENSURE) native
	cmake --preset native >/dev/null
	cmake --build --preset native
	@mkdir -p build/test-logs
	ctest --preset native -O build/test-logs/native.log

test-asan:
	@$(ENSURE) native
	cmake --preset asan >/dev/null
	cmake --build --preset asan
	@mkdir -p build/test-logs
	ctest --preset asan -O build/test-logs/asan.log

test-tsan:
	@$(ENSURE) native
	cmake --preset tsan >/dev/null
	cmake --build --preset tsan
	@mkdir -p build/test-logs
	ctest --preset tsan -O build/test-logs/tsan.log

test-windows: windows
	@$(ENSURE) wine
	@mkdir -p build/test-logs
	ctest --preset windows -O build/test-logs/windows.log

check-format:
	@$(ENSURE) format
	clang-format --dry-run --Werror $(SOURCES)
	@echo "formatting: clean"

format:
	@$(ENSURE) format
	clang-format -i $(SOURCES)

bench:
	@$(ENSURE) native bench
	cmake --preset bench >/dev/null
	cmake --build --preset bench
	build/bench/bench/quillmere_bench

fuzz:
	@$(ENSURE) fuzz
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz
	mkdir -p build/fuzz/corpus
	build/fuzz/fuzz/settings_fuzz -max_total_time=$(FUZZ_SECONDS) build/fuzz/corpus fuzz/corpus

clean:
	rm -rf build dist/Quillmere.asi dist/README.txt
