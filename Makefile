# Short commands for people; `make help` lists them.
JOBS ?= 2
BUILD_TYPE ?= RelWithDebInfo
CMAKE_NATIVE = cmake -S . -B build/native -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)
CMAKE_ASAN = cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DZORVIK_SANITIZE=ON
# $(call CMAKE_WINDOWS,build folder,processor): a Windows build with its MinGW toolchain file.
CMAKE_WINDOWS = cmake --no-warn-unused-cli -S . -B build/$(1) -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-$(2).cmake
CMAKE_FUZZ = cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORVIK_FUZZ=ON \
	-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
CTEST = ctest --output-on-failure
PREFIX ?= /usr/local

.PHONY: help deps native asan win32 win64 web web-serve test test-native test-asan test-win32 test-win64 test-fuzz test-web demo gui bench fuzz install package po clean
WEB_PORT ?= 8018
# Debian's Python, which has python3-selenium (not one from pyenv or a venv).
PYTHON ?= /usr/bin/python3

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

## win32: cross-build the 32-bit Windows program, the product, and its tests (build/win32)
win32:
	@$(call CMAKE_WINDOWS,win32,i686) >/dev/null
	@cmake --build build/win32 -j$(JOBS)

## win64: cross-build the same program and tests 64-bit (build/win64)
win64:
	@$(call CMAKE_WINDOWS,win64,x86_64) >/dev/null
	@cmake --build build/win64 -j$(JOBS)

## web: build the page with emscripten (build/web: index.html, its script, the worker with its WebAssembly)
# emscripten's optimizer needs Debian's acorn, which a Node.js from elsewhere
# does not look for in /usr/share/nodejs.
web:
	@emcmake cmake -S . -B build/web-build -DCMAKE_BUILD_TYPE=Release >/dev/null
	@NODE_PATH=$${NODE_PATH:-/usr/share/nodejs} cmake --build build/web-build -j$(JOBS)

## web-serve: build the page and serve it on http://127.0.0.1:$(WEB_PORT)/ (this machine only)
web-serve: web
	@echo "Open http://127.0.0.1:$(WEB_PORT)/ (Ctrl+C stops the server)."
	python3 -m http.server $(WEB_PORT) --bind 127.0.0.1 --directory build/web

## test: install what is missing, build every build, run every test (native, sanitizers, Wine, the page in Chromium, 30 s of each fuzzer)
test: deps
	@$(MAKE) --no-print-directory test-native test-asan test-win64 test-win32 test-web test-fuzz

test-native: native
	cd build/native && $(CTEST)

test-asan: asan
	cd build/asan && $(CTEST)

# $(call WINE_CTEST,build folder): runs a Windows build's tests
# under Wine in a virtual X server. Each build gets a Wine prefix of its own, so
# that a dialog opened with `make gui` (or another run) cannot be mistaken for
# the one under test; the set-up runs inside the same X server, since a Wine
# started without a display would leave a desktop behind that the tests'
# windows cannot be shown on.
WINE_CTEST = cd build/$(1) && ZORVIK_WINE_HOME=$(CURDIR)/build/$(1)/wine-home \
	xvfb-run -a -s "-screen 0 1280x1024x24" \
	sh -c '../../cmake/wine-setup.sh && $(CTEST); status=$$?; ../../cmake/wine-run.sh --stop; exit $$status'

test-win64: win64
	$(call WINE_CTEST,win64)

# The 32-bit tests need a kernel that runs 32-bit programs; elsewhere (or with
# ZORVIK_SKIP_WIN32_TESTS=1) the 32-bit build is only checked as files.
test-win32: win32
	@if why=$$(cmake/wine-run.sh --can-run-32); then \
		$(call WINE_CTEST,win32); \
	else \
		echo "32-bit Windows tests skipped: $$why; the 64-bit build's tests ran instead, and the 32-bit build is checked as files."; \
		cd build/win32 && $(CTEST) -L files; \
	fi

# The page in headless Chromium, against the native tool's outputs.
test-web: web native
	$(PYTHON) tests/web/test_web.py build/web build/native/cli/zorvik

## demo: build the Linux tool, create a patch from sample files and apply it
demo: native
	cli/demo.sh build/native/cli/zorvik

## gui: build zorvik.exe and start it under Wine (the 64-bit build where 32-bit programs cannot run)
gui:
	@if why=$$(cmake/wine-run.sh --can-run-32); then $(MAKE) --no-print-directory win32 && \
		echo "Starting the 32-bit zorvik.exe." && ui/run-gui.sh build/win32; \
	else $(MAKE) --no-print-directory win64 && echo "Starting the 64-bit zorvik.exe: $$why." && ui/run-gui.sh build/win64; fi

## bench: measure patch creation and application against cat, cp and xdelta3, and the page against the tool
bench: native web
	BENCH_WEB=build/web bench/run.sh build/native

## fuzz: run the libFuzzer targets on patch application and creation for FUZZ_SECONDS each (default 60)
fuzz:
	@$(CMAKE_FUZZ) >/dev/null
	@cmake --build build/fuzz -j$(JOBS) --target apply_fuzz create_fuzz
	tests/fuzz/run.sh build/fuzz $${FUZZ_SECONDS:-60}

## install: build the Linux tool and install zorvik, its man page and its message catalogs under PREFIX (/usr/local)
install: native
	cmake --install build/native --prefix $(PREFIX)

## package: build the Linux tool and a Debian package of it (build/native/zorvik_*.deb)
package: native
	cd build/native && cpack

## po: after texts changed, refresh po/zorvik.pot from the sources and merge it into po/en.po to translate them there
po:
	@$(CMAKE_NATIVE) >/dev/null
	@cmake --build build/native --target zorvik_pot
	cp build/native/po/zorvik.pot po/zorvik.pot
	msgmerge --quiet --update --backup=none --previous po/en.po po/zorvik.pot

# Both fuzz targets for a short time on the committed corpora, as part of test.
test-fuzz:
	@$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=30

## clean: remove every build
clean:
	rm -rf build
