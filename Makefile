# Thin wrapper over the CMake presets. `make run` and `make test` work on a fresh Debian 12
# machine: as root they first install whatever build or test tools are missing.

BUILD_TOOLS := cmake ninja-build g++ make
TEST_TOOLS  := $(BUILD_TOOLS) libgtest-dev qpdf
ENSURE      := tools/ensure-packages

.PHONY: all build run test test-asan test-windows clean

all: build

build:
	@$(ENSURE) $(BUILD_TOOLS)
	cmake --preset default -DVANTRIL_BUILD_TESTS=OFF
	cmake --build --preset default --target vantril

run: build
	./build/default/vantril

test:
	@$(ENSURE) $(TEST_TOOLS)
	cmake --preset default -DVANTRIL_BUILD_TESTS=ON
	cmake --build --preset default
	ctest --preset default

test-asan:
	@$(ENSURE) $(TEST_TOOLS)
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan

# Cross-builds the Windows executables and runs the suite under Wine (tools/test-windows).
test-windows:
	tools/test-windows

clean:
	rm -rf build
