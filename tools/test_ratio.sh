#!/bin/sh
# Lines of tests against lines of code, counted over tracked C++, Python, CMake and shell files:
# the suite is held to a share of the code so that it stays lean as the code grows.
#   tests: tests/ fuzz/ python/tests
#   code:  src/ include/ interfaces/ sim/ tools/ bench/ python/qxcm python/_build
cd "$(dirname "$0")/.." || exit 1
count() {
    git ls-files -- "$@" | grep -E '\.(cpp|h|inc|c|py|cmake|sh)$|CMakeLists\.txt$' |
        xargs cat 2>/dev/null | wc -l
}
tests=$(count tests fuzz python/tests)
code=$(count src include interfaces sim tools bench python/qxcm python/_build)
echo "tests $tests code $code ratio $(awk "BEGIN { printf \"%.3f\", $tests / $code }")"
