# Two entry points for a new user: `make run` and `make test`.
BUILD_DIR ?= build
BUILD_TYPE ?= Release
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
HOME_DIR ?= $(CURDIR)/data
CMAKE_FLAGS ?=
# Options of `varnel serve` for `make run`, such as --port 9999 or --bind 127.0.0.1.
SERVE_FLAGS ?=
SANITIZE_DIR ?= build-sanitize
# Any finding fails the run: a leak at exit, the first memory error, the first
# undefined behaviour (built not to recover from it). The program that the
# end-to-end cases run inherits these as well.
SANITIZE_ENV = ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:check_initialization_order=1 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

.PHONY: deps build run test test-sanitize bench clean

deps:
	@bash scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD_DIR) -j $(JOBS)

# The main job, as the application does at start: open (or set up) the
# ledger, run the start-up routine (the recurring entries that are due, then
# the card payments that are due), then serve it to browsers on this network
# until Ctrl-C; `serve` prints the addresses to open and the password.
run: build
	$(BUILD_DIR)/bin/varnel --home $(HOME_DIR) start
	$(BUILD_DIR)/bin/varnel --home $(HOME_DIR) serve $(SERVE_FLAGS)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# Every target built with AddressSanitizer and UndefinedBehaviorSanitizer in a
# folder of its own, so the ordinary build stays as it is.
test-sanitize: deps
	@cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=Sanitize -DVARNEL_SANITIZE=ON -DVARNEL_WERROR=ON $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(SANITIZE_DIR) -j $(JOBS)
	@cd $(SANITIZE_DIR) && $(SANITIZE_ENV) ctest --output-on-failure -j $(JOBS)

bench: build
	$(BUILD_DIR)/bin/store_bench

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR)
