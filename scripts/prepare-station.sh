#!/usr/bin/env bash
# prepare-station.sh STATION BUILD: fills the station folder with its settings and data files.
# Files the operator already has are kept; only missing ones are added.
set -euo pipefail
station=$1
build=$2
top=$(cd "$(dirname "$0")/.." && pwd)
case "$build" in
/*) ;;
*) build="$top/$build" ;;
esac
mkdir -p "$station"
station=$(cd "$station" && pwd)

if [ ! -f "$station/appTolvik.ini" ]; then
    sed "s|@STATION@|$station|g" "$top/data/appTolvik.ini.in" >"$station/appTolvik.ini"
fi
for f in "$top"/data/station/* "$build"/data/*; do
    [ -e "$f" ] || continue
    [ -e "$station/$(basename "$f")" ] || cp "$f" "$station/"
done
