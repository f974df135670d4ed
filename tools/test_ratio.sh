#!/bin/sh
# Lines of tests against lines of code, counted over tracked C++, Python and shell files:
# the suite is held to a share of the code so that it stays lean as the code grows.
#   tests: tests/ fuzz/ python/tests
#   code:  src/ sim/ tools/ bench/ python/qxcm
cd "$(dirname "$0")/.." || exit 1
count() {
    git ls-files -- "$@" | grep -E '\.(cpp|h|inc|c|py|sh)$' |
        xargs cat 2>/dev/null | wc -l
}
tests=$(count tests fuzz python/tests)
code=$(count src sim tools bench python/qxcm)
echo "tests $tests code $code ratio $(awk "BEGIN { printf \"%.3f\", $tests / $code }")"
