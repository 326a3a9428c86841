#!/usr/bin/env bash
# Builds Pellmar and runs it on the bundled samples.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target pellmar-cli -j"$(nproc)" >/dev/null
cli=build/release/cli/pellmar-cli
echo "== pellmar-cli info samples/femalebody_blender.nif"
"$cli" info samples/femalebody_blender.nif
echo "== pellmar-cli check samples/*.nif"
"$cli" check samples/*.nif
