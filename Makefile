# Front door: `make build`, `make test`. CMake does the work in three build
# trees: build/native (portable rules, sanitizers), build/win32 (the i686
# product), build/win64 (the x86_64 twin that runs under wine64).
JOBS ?= $(shell nproc)
CTEST = ctest --output-on-failure --no-tests=error

.PHONY: all deps build test clean demo

all: build

deps:
	@tools/install-deps.sh

build: deps
	cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
	cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
	cmake --build build/native -j $(JOBS)
	cmake --build build/win32 -j $(JOBS)
	cmake --build build/win64 -j $(JOBS)

test: build
	tools/wine-run.sh --init
	cd build/native && $(CTEST)
	cd build/win64 && $(CTEST)
	cd build/win32 && $(CTEST)

# A scripted till session: ykt.exe and the x86_64 library over the reader
# simulator in a private wine prefix; transcript and dialog screenshot in
# build/demo/. Builds only what the session needs.
demo: deps
	cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
	cmake --build build/win64 -j $(JOBS) --target ykt_till
	tools/demo.sh build/win64

clean:
	rm -rf build
