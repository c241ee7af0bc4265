# Short commands over the CMake presets (CMakePresets.json holds the real configuration).
#   make          build dist/Quillmere.asi
#   make dist     the release package: dist/Quillmere-VERSION.zip and dist/SHA256SUMS
#   make release  cut a release: check, test, package and tag the current commit
#   make run      build it and play a session with it in the stand-in host under Wine
#                 (SCENARIO=path plays another scenario; see scripts/run-session.sh)
#   make test     every suite, formatting, clang-tidy and the workflows; one verdict line
#   make soak     the native soak alone, FRAMES frames (default 1,000,000)
#   make bench    each pass and reload against its floor (BENCH_ARGS go to the benchmark)
#   make fuzz     the libFuzzer target for FUZZ_SECONDS (default 60)
#   make tidy, make format, make check-format, make check-workflows
# Each target installs the Debian packages it needs first (scripts/ensure-tools.sh).

FUZZ_SECONDS ?= 60
FRAMES ?= 1000000
# Handed to the scripts through the environment, so that no quote in them reaches a shell line.
export FUZZ_SECONDS BENCH_ARGS
SUITES := native asan tsan windows
ENSURE = sh scripts/ensure-tools.sh
# Runs a command on a preset's build folder while no other make does (targets made together,
# make -j2 dist run, would otherwise configure or build one folder twice at once).
LOCKED = mkdir -p build && flock build/$(1).lock
# Configures a preset quietly and builds it (the targets given, or all).
BUILD = $(call LOCKED,$(1)) cmake --preset $(1) >/dev/null && \
	$(call LOCKED,$(1)) cmake --build --preset $(1) $(if $(2),--target $(2))
# Every C++ file git tracks or would add, less those deleted from the working tree; in a source
# tree that is not a git checkout (a downloaded archive), every one outside build/ and dist/.
IN_GIT := $(shell [ "$$(git rev-parse --show-toplevel 2>/dev/null)" = "$$(pwd -P)" ] && echo yes)
SOURCES = $(if $(IN_GIT),$(wildcard $(shell git ls-files --cached --others --exclude-standard \
	'*.cpp' '*.h')),$(shell find . \( -path ./build -o -path ./dist -o -path ./.git \) -prune -o \
	-type f \( -name '*.cpp' -o -name '*.h' \) -print | sed 's|^\./||' | sort))

# Wine keeps its prefix inside the build tree, so runs never touch the user's own.
export WINEPREFIX := $(CURDIR)/build/wine-prefix
export WINEDEBUG := -all
# What Wine writes beside its prefix (menu entries and caches when it makes one) stays there too.
WINE_TARGETS := run test-windows
$(WINE_TARGETS): export XDG_CONFIG_HOME := $(CURDIR)/build/wine-home/config
$(WINE_TARGETS): export XDG_DATA_HOME := $(CURDIR)/build/wine-home/data
$(WINE_TARGETS): export XDG_CACHE_HOME := $(CURDIR)/build/wine-home/cache
MAKEFLAGS += --no-print-directory

.PHONY: all windows dist release run tidy test $(addprefix test-,$(SUITES)) check-format format \
	check-workflows soak bench fuzz clean

all: windows

# quillmere_asi brings dist/Quillmere.asi to the build's bytes, however it was changed.
windows:
	@$(ENSURE) windows
	@$(call BUILD,windows,quillmere_asi)

dist:
	@$(ENSURE) windows dist
	@$(call BUILD,windows,dist)

# The script installs what the release needs once it knows there is a commit to release.
release:
	@sh scripts/release.sh

# The session script's status (0, 1, 2, 130) is documented there; make ends with its own.
# SCENARIO reaches it as written: exported, it would be make's expansion of it ($5 gone).
run: export QUILLMERE_SCENARIO := $(value SCENARIO)
run:
	@$(ENSURE) windows wine
	@$(call BUILD,windows,quillmere_asi quillmere_run)
	@sh scripts/run-session.sh -- "$$QUILLMERE_SCENARIO"

# The script installs the tools first, so that a missing one still ends in a verdict line.
test:
	@sh scripts/test-all.sh $(SUITES)

# One suite: configure, build, run its tests (the log goes to build/test-logs/SUITE.log).
$(addprefix test-,$(SUITES)): test-%:
	@$(ENSURE) $(if $(filter windows,$*),windows wine dist,native)
	@$(call BUILD,$*)
	@$(call LOCKED,$*) ctest --preset $*

tidy:
	@$(ENSURE) native windows tidy
	@$(call LOCKED,native) cmake --preset native >/dev/null
	@$(call LOCKED,windows) cmake --preset windows >/dev/null
	@sh scripts/tidy.sh

# With no file to name, clang-format would read standard input: refuse instead.
check-format:
	@$(ENSURE) format
	@$(if $(SOURCES),,echo "check-format: no C++ file found in this tree" >&2; exit 1)
	@clang-format --dry-run --Werror $(SOURCES)
	@echo "formatting: clean ($(words $(SOURCES)) files)"

format:
	@$(ENSURE) format
	@$(if $(SOURCES),,echo "format: no C++ file found in this tree" >&2; exit 1)
	@clang-format -i $(SOURCES)

check-workflows:
	@$(ENSURE) workflows
	@node scripts/check-workflows.js

soak: export QUILLMERE_FRAMES := $(value FRAMES)
soak:
	@$(ENSURE) native
	@$(call BUILD,native,quillmere_soak)
	@build/native/tests/quillmere-soak "$$QUILLMERE_FRAMES"

# The DLL is built first so that the table can give its size; without it the table says so.
bench:
	@$(ENSURE) native bench windows
	@$(call BUILD,windows,quillmere_asi) >/dev/null || echo "bench: dist/Quillmere.asi could not be built"
	@$(call BUILD,bench)
	@build/bench/tools/bench/quillmere_bench --dll=dist/Quillmere.asi $$BENCH_ARGS

fuzz:
	@sh scripts/fuzz-all.sh "$$FUZZ_SECONDS"

clean:
	rm -rf build dist/Quillmere.asi dist/Quillmere-*.zip dist/SHA256SUMS
