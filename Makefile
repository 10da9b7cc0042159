# Short commands for people; `make help` lists them.
JOBS ?= 2
BUILD_TYPE ?= RelWithDebInfo
CMAKE_NATIVE = cmake -S . -B build/native -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)
CMAKE_ASAN = cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DZORVIK_SANITIZE=ON
CMAKE_WIN32 = cmake -S . -B build/win32 -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
CMAKE_FUZZ = cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORVIK_FUZZ=ON \
	-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
CTEST = ctest --output-on-failure

.PHONY: help deps native asan win32 test test-native test-asan test-win32 test-fuzz demo gui bench fuzz clean

## help: list the commands
help:
	@sed -n 's/^## //p' Makefile

## deps: install the Debian packages the builds need (as root; otherwise prints what is missing)
deps:
	@cmake/install-deps.sh

## native: build the Linux tool and tests (build/native)
native:
	@$(CMAKE_NATIVE) >/dev/null
	@cmake --build build/native -j$(JOBS)

## asan: build the Linux tests with AddressSanitizer and UndefinedBehaviorSanitizer (build/asan)
asan:
	@$(CMAKE_ASAN) >/dev/null
	@cmake --build build/asan -j$(JOBS)

## win32: cross-build the 32-bit Windows program and tests (build/win32)
win32:
	@$(CMAKE_WIN32) >/dev/null
	@cmake --build build/win32 -j$(JOBS)

## test: install what is missing, build both builds, run every test (native, sanitizers, Wine, 30 s of each fuzzer)
test: deps
	@$(MAKE) --no-print-directory test-native test-asan test-win32 test-fuzz

test-native: native
	cd build/native && $(CTEST)

test-asan: asan
	cd build/asan && $(CTEST)

# The Windows tests get a Wine prefix of their own, so that a dialog opened with
# `make gui` (or another run) cannot be mistaken for the one under test.
test-win32: export ZORVIK_WINE_HOME = $(CURDIR)/build/win32/wine-home
# The set-up runs inside the same X server: a Wine started without a display
# would leave a desktop behind that the tests' windows cannot be shown on.
test-win32: win32
	cd build/win32 && xvfb-run -a -s "-screen 0 1280x1024x24" \
		sh -c '../../cmake/wine-setup.sh && $(CTEST); status=$$?; ../../cmake/wine-run.sh --stop; exit $$status'

## demo: build the Linux tool, create a patch from sample files and apply it
demo: native
	cli/demo.sh build/native/cli/zorvik

## gui: build zorvik.exe and start it under Wine
gui: win32
	ui/run-gui.sh build/win32

## bench: measure patch creation and application against cat, cp and xdelta3
bench: native
	bench/run.sh build/native

## fuzz: run the libFuzzer targets on patch application and creation for FUZZ_SECONDS each (default 60)
fuzz:
	@$(CMAKE_FUZZ) >/dev/null
	@cmake --build build/fuzz -j$(JOBS) --target apply_fuzz create_fuzz
	tests/fuzz/run.sh build/fuzz $${FUZZ_SECONDS:-60}

# Both fuzz targets for a short time on the committed corpora, as part of test.
test-fuzz:
	@$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=30

## clean: remove every build
clean:
	rm -rf build
