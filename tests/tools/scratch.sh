# Sourced by the host-program tests: strict mode, the build's program folder as $bin and a
# scratch folder of their own as the working directory, removed on exit.
set -euo pipefail
bin=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
