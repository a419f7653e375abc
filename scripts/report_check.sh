#!/usr/bin/env bash
# Renders the demo's report page in headless Chromium and checks that the screenshot is not
# blank. Usage: scripts/report_check.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: scripts/report_check.sh BUILD_DIR}" && pwd)
work="$build/report-check"
rm -rf "$work"
mkdir -p "$work"

"$build/examples/demo/orv-demo" --frames 12 --size 320x180 --out "$work/out" >"$work/demo.log"

# As root Chromium needs --no-sandbox; the other switches keep it off the network and away from
# any profile but a fresh one.
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$profile" --hide-scrollbars --window-size=1280,2400 \
    --screenshot="$work/report.png" "file://$work/out/report.html" >"$work/chromium.log" 2>&1 || {
    echo "error: chromium could not render $work/out/report.html (see $work/chromium.log)" >&2
    exit 1
}
"$build/examples/demo/orv-demo-image-check" "$work/report.png" 1000
