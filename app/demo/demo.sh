#!/bin/sh
# Tries qdx-update without a device: writes the four sample update files into
# FOLDER (default: demo/ beside this script) and starts the tool there, with
# the simulated libQDX140.so beside it. QDX140_SIM picks a scenario of the
# simulated device (see the guide), e.g.  QDX140_SIM=old-bootloader ./demo.sh
set -e
here=$(cd "$(dirname "$0")" && pwd)
folder=${1:-$here/demo}
mkdir -p "$folder"
"$here/qdx-samples" "$folder" >/dev/null
cd "$folder"
exec "$here/qdx-update"
