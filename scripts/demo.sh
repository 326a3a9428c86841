#!/usr/bin/env bash
# Builds Pellmar and runs it on the bundled samples: the Blender export is converted for the
# game with shaders from the sample library, then back for Blender, and both outputs are
# checked.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target pellmar-cli -j"$(nproc)" >/dev/null
cli=build/release/cli/pellmar-cli
out=build/demo
rm -rf "$out" && mkdir -p "$out"

echo "== the sample mesh"
"$cli" info samples/femalebody_blender.nif
echo "== clean for the game"
"$cli" clean samples/femalebody_blender.nif --library samples/ShaderLibrary.nif \
  --config samples/Config.xml -o "$out/femalebody_game.nif" \
  --assign Body=SkinBody --assign Hands=SkinHands --assign "Feet=Hair (A)"
echo "== back for Blender"
"$cli" to-blender "$out/femalebody_game.nif"
echo "== check both outputs"
"$cli" check "$out/femalebody_game.nif" "$out/blend_femalebody_game.nif"
"$cli" info "$out/femalebody_game.nif"
