# SPDX-License-Identifier: GPL-3.0-or-later
# make deps   installs every build and test dependency (Debian 12, apt-get)
# make build  builds into build/, programs in build/bin/
# make test   builds and runs the whole test suite
# make run    builds and starts the program on a private two-host link
# make package builds the Debian package build/ravelox_<version>_<arch>.deb

BUILD ?= build
CMAKE_FLAGS ?=

PACKAGES := cmake ninja-build g++ pkg-config \
	libgtest-dev libgmock-dev \
	qt6-base-dev qt6-charts-dev libqt6opengl6-dev \
	libcli11-dev nlohmann-json3-dev \
	iproute2 nftables util-linux \
	dpkg-dev desktop-file-utils man-db \
	clang libclang-rt-14-dev xvfb

.PHONY: deps build test run package clean

deps:
	@missing=$$(for p in $(PACKAGES); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed$$' || echo $$p; \
	  done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  if [ "$$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi; \
	  $$SUDO apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq --no-install-recommends $$missing >/dev/null; \
	fi

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD)

test: build
	ctest --test-dir $(BUILD) --output-on-failure --timeout 300

run: build
	@if [ "$$(id -u)" -ne 0 ]; then \
	  export XAUTHORITY="$${XAUTHORITY:-$$HOME/.Xauthority}"; \
	  SUDO="sudo --preserve-env=DISPLAY,XAUTHORITY,WAYLAND_DISPLAY"; else SUDO=; fi; \
	$$SUDO sh scripts/run-link.sh $(BUILD)/bin

package: build
	cmake --build $(BUILD) --target package

clean:
	rm -rf $(BUILD)
