# Two entry points for a new user: `make run` and `make test`.
BUILD_DIR ?= build
BUILD_TYPE ?= Release
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
HOME_DIR ?= $(CURDIR)/data
CMAKE_FLAGS ?=

.PHONY: deps build run test bench clean

deps:
	@bash scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD_DIR) -j $(JOBS)

# The main job, as the application does at start: open (or set up) the
# ledger, book the card payments that are due, and show the accounts.
run: build
	$(BUILD_DIR)/bin/varnel --home $(HOME_DIR) init
	$(BUILD_DIR)/bin/varnel --home $(HOME_DIR) card autopay
	$(BUILD_DIR)/bin/varnel --home $(HOME_DIR) balance

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

bench: build
	$(BUILD_DIR)/bin/store_bench

clean:
	rm -rf $(BUILD_DIR)
