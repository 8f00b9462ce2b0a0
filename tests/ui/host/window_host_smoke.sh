#!/usr/bin/env bash
# Opens the window host under a virtual X server (xcb) and offscreen, taps a
# pane in both, and checks that both screenshots are the same picture.
# Exits 77 (skipped) when xvfb-run is not installed.
set -euo pipefail
lumora="$1"
if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "xvfb-run is not installed: skipped"
  exit 77
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export LUMORA_DATA_ROOT="$work/data"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$LUMORA_DATA_ROOT" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
args=(--screenshot "" --after 1 --tap 240,120)

args[1]="$work/offscreen.png"
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen "$lumora" "${args[@]}"
args[1]="$work/xcb.png"
env -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "$lumora" "${args[@]}"

for f in offscreen xcb; do
  [ -s "$work/$f.png" ] || { echo "no $f screenshot"; exit 1; }
done
if ! cmp -s "$work/offscreen.png" "$work/xcb.png"; then
  echo "the xcb screenshot differs from the offscreen one"
  cp "$work/offscreen.png" "$work/xcb.png" "${LUMORA_SMOKE_KEEP:-/tmp}/" 2>/dev/null || true
  exit 1
fi
echo "offscreen and xcb screenshots match"
