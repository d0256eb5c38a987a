#!/usr/bin/env bash
# Fails when a source file includes a header its folder may not see: includes only point
# down, from app/ through settings/ and text/ to platform/platform.h, and each system's
# side of the platform layer is seen only by start-up and by tests.
set -uo pipefail
cd "${1:-$(dirname "$0")/..}"

allowed() {  # file, included header
  case "$1" in
    app/main_posix.cc) [[ $2 == platform/posix/* ]] && return 0 ;;
    app/main_win.cc) [[ $2 == platform/win/* ]] && return 0 ;;
  esac
  case "$1" in
    app/*) [[ $2 == @(app|settings|text)/* || $2 == platform/platform.h ]] ;;
    settings/*) [[ $2 == @(settings|text)/* || $2 == platform/platform.h ]] ;;
    text/*) [[ $2 == text/* || $2 == platform/platform.h ]] ;;
    platform/platform.h) false ;;
    platform/posix/*) [[ $2 == @(platform/posix|text)/* || $2 == platform/platform.h ]] ;;
    platform/win/*) [[ $2 == @(platform/win|text)/* || $2 == platform/platform.h ]] ;;
    *) true ;;  # tests, fuzz targets and the benchmark may see everything
  esac
}

shopt -s extglob
status=0
checked=0
while IFS=: read -r file _ header; do
  checked=$((checked + 1))
  if ! allowed "$file" "$header"; then
    echo "$file includes $header" >&2
    status=1
  fi
done < <(find app settings text platform -type f |
  grep -E '\.(cc|h)$' | xargs grep -HnoE '#include "[^"]+"' |
  sed -E 's/#include "([^"]+)"/\1/')
if [ "$checked" -eq 0 ]; then
  echo "no includes found: run from the source tree" >&2
  exit 1
fi
exit $status
