# make        builds everything into build/
# make demo   packs a small folder and runs the package under Wine
# make test   runs the whole test suite
# Each first installs what is missing (scripts/setup.sh).
.PHONY: all setup build demo test bench clean

all: build

setup:
	@scripts/setup.sh

build: setup
	@scripts/build.sh

demo: build
	@scripts/demo.sh

test: build
	@scripts/test.sh

clean:
	rm -rf build/win build/win64 build/native build/wine64-bin
