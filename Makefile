# The front door. `make test` and `make demo` are the two commands a newcomer
# needs; both install what is missing first. `make check` is the maintainer's
# loop: what a change needs rebuilt, and the suites that run in seconds;
# `make soak` runs the suites under Wine again and again, under load.
SHELL := /bin/bash

.PHONY: deps test check soak demo dist bench fuzz format clean

deps:
	@tools/install_deps.sh

test: deps
	@tools/run_tests.sh

check: deps
	@tools/run_tests.sh --loop

soak: deps
	@tools/soak.sh

demo: deps
	@tools/build_preset.sh windows
	@tools/demo.sh

dist: deps
	@tools/dist.sh

bench: deps
	@tools/bench.sh

fuzz: deps
	@tools/build_preset.sh fuzz
	@TAMSEL_FUZZ_SECONDS=300 ctest --preset fuzz --timeout 600

format:
	@git ls-files '*.h' '*.cpp' | xargs clang-format -i

clean:
	@tools/wine_session.sh stop || true
	@rm -rf build dist
