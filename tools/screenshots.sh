#!/usr/bin/env bash
# Builds the screenshot renderer and renders every registered screen
# offscreen into docs/screenshots/, at 1x (<name>.png) and 2x (<name>@2x.png).
# Arguments, if any, name the screens to render. Build folder: $BUILD_DIR,
# default build/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
out="$root/docs/screenshots"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" >/dev/null
fi
cmake --build "$build" -j "${JOBS:-2}" --target rssreader-screens
mkdir -p "$out"
# Fixed texts and fonts: no desktop settings of the person running it.
export LANG=C.UTF-8 LC_ALL=C.UTF-8 RSSREADER_DEBUG=0
unset QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_AUTO_SCREEN_SCALE_FACTOR
# An offscreen screen larger than the frame, so popups open where they would
# on a desktop, at the device pixel ratio asked for.
config="$(mktemp -d)"
trap 'rm -rf "$config"' EXIT
for scale in 1 2; do
  cat >"$config/screen-$scale.json" <<JSON
{ "screens": [ { "name": "shots", "x": 0, "y": 0, "width": $((1000 * scale)), "height": $((900 * scale)),
                 "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": $scale } ] }
JSON
  QT_QPA_PLATFORM="offscreen:configfile=$config/screen-$scale.json" "$build/bin/rssreader-screens" "$out" "$@"
done
