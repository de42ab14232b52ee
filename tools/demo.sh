#!/usr/bin/env bash
# The demo: the wizard, built for loopback hosts, runs end to end under Wine
# against local stand-in servers (nginx on 127.0.0.1-3): Windows 7 with
# nothing installed, every component "installed" by a harmless stand-in,
# then the stand-in client opened.
#   With DISPLAY set, the wizard shows on your display and you click it.
#   Without one, the test driver clicks it on Xvfb, and the pictures of the
#   welcome dialog and of the progress dialog during a throttled download
#   are saved to docs/ (the README shows them).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64 >build/demo-build.log
build=$PWD/build/win64
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY
export WINEPREFIX=$PWD/build/demo-wine KELVARA_WINE_KIND=win64
export LANG=zh_CN.UTF-8 WINEDEBUG=-all KELVARA_DEMO_BY_HAND=${DISPLAY:+1}
export DISPLAY=${DISPLAY:-:93}
trap 'bash tests/e2e/nginx-fixture.sh down "$build"; bash tests/wine-fixture.sh down' EXIT
bash tests/wine-fixture.sh up
bash tests/e2e/nginx-fixture.sh up "$build"
bash tests/e2e/run_scenario.sh "$build" old_route
[ -n "$KELVARA_DEMO_BY_HAND" ] && exit 0
bash tests/e2e/run_scenario.sh "$build" welcome_cancel
bash tests/e2e/run_scenario.sh "$build" progress_throttled
mkdir -p docs
cp "$build/e2e/results/welcome_cancel/welcome.png" docs/welcome.png
cp "$build/e2e/results/progress_throttled/progress.png" docs/progress.png
echo "pictures: docs/welcome.png docs/progress.png; what happened: $build/e2e/results/"
