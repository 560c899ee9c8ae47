#!/usr/bin/env bash
# Pictures of Pressgate's windows for the documentation (make screenshots):
#   scripts/screenshots.sh BUILD_DIR OUTPUT_DIR
# Builds the screenshot driver (docs/screenshots/ScreenshotDriver.cpp) and runs it on a virtual X
# server (Xvfb, through xvfb-run), which writes one PNG per window into OUTPUT_DIR. The driver
# brings its own daemon with a private home, queues, jobs and messages.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-docs/screenshots}

if ! command -v xvfb-run >/dev/null; then
    echo "screenshots: xvfb-run not found (apt-get install xvfb xauth)" >&2
    exit 1
fi
cmake --build "$build" --target pg_screenshots pg_help -j "${JOBS:-$(nproc)}"
mkdir -p "$out"
# The X server's own platform plugin, not an offscreen one left in the environment.
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb
xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$build/bin/pg_screenshots" "$out"
