# Front door: `make build`, `make test`. CMake does the work in three build
# trees: build/native (portable rules, sanitizers), build/win32 (the i686
# product), build/win64 (the x86_64 twin that runs under wine64).
JOBS ?= $(shell nproc)
CTEST = ctest --output-on-failure --no-tests=error

.PHONY: all deps build test clean demo fuzz soak bench dist emu32

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

test: build emu32
	tools/wine-run.sh --init
	cd build/native && $(CTEST)
	cd build/win64 && $(CTEST)
	cd build/win32 && $(CTEST)

# The delivery packages, from the i686 tree: build/dist/Vb_Ykt-<version>-win32.zip
# for the till and Vb_Ykt-<version>-simulator-win32.zip for demonstrations and
# training, and SHA256SUMS over both. Builds only what goes into them.
# SIGN_CERT=cert.pem SIGN_KEY=key.pem [SIGN_PASS=...] [SIGN_TIMESTAMP_URL=...]:
# Vb_Ykt.dll and ykt.exe signed with Authenticode (SHA-256) in the packages.
dist: deps
	cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
	cmake --build build/win32 -j $(JOBS) --target Vb_Ykt Vb_Ykt_lib ykt irdll_sim bcidll_sim
	/usr/bin/python3 tools/dist.py build/win32 build/dist

# The emulated 32-bit guest the i686 tests run in: packages, kernel and wine
# prefix, prepared once (as root) and checked in well under a second after that.
emu32:
	@tools/emu32/prepare.sh --display || { echo "make emu32: the i686 guest could not be prepared (see above); the i686 tests cannot run" >&2; exit 1; }

# A scripted till session: ykt.exe and the x86_64 library over the reader
# simulator in a private wine prefix; transcript and dialog screenshot in
# build/demo/. Builds only what the session needs.
demo: deps
	cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
	cmake --build build/win64 -j $(JOBS) --target ykt_till
	tools/demo.sh build/win64

# Each libFuzzer target for FUZZ_SECONDS (make test runs them for 3 s each);
# the corpora grow in build/fuzz-corpus/, crashes land in build/native/fuzz/artifacts/.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = fuzz_db_password fuzz_hex_key fuzz_numbers fuzz_card_texts fuzz_journal_record fuzz_pe_image
fuzz: deps
	cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build build/native -j $(JOBS) --target fuzz_targets
	@for f in $(FUZZ_TARGETS); do \
	    mkdir -p build/fuzz-corpus/$$f build/native/fuzz/artifacts; \
	    log=build/native/fuzz/$$f.log; \
	    if ! build/native/fuzz/$$f -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	            -artifact_prefix=build/native/fuzz/artifacts/$$f- build/fuzz-corpus/$$f >$$log 2>&1; then \
	        tail -n 40 $$log; echo "$$f: FAILED (input kept in build/native/fuzz/artifacts/)"; exit 1; \
	    fi; \
	    echo "$$f: $$(grep -h '^stat::number_of_executed_units' $$log | tr -dc 0-9) inputs in $(FUZZ_SECONDS) s, corpus $$(ls build/fuzz-corpus/$$f | wc -l), no failure"; \
	done

# The soak at full length (make test runs 5,000 operations per allocator mode).
SOAK_OPS ?= 100000
soak: deps
	cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
	cmake --build build/win64 -j $(JOBS) --target robustness_tests
	cd build/win64 && ../../tools/wine-run.sh robustness_tests.exe --gtest_filter='*Soak*' --soak-ops=$(SOAK_OPS)

# The cost of a call against its floor, the time to the settings dialog, the size of the product.
bench: deps
	cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
	cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
	@# The size is a figure, not a condition: the timings run even when the i686 build fails.
	-cmake --build build/win32 -j $(JOBS) --target Vb_Ykt
	cmake --build build/win64 -j $(JOBS) --target call_bench
	bench/run-bench.sh

clean:
	rm -rf build
