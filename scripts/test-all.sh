#!/usr/bin/env bash
# Installs what is missing, then builds and tests every build: the native suite under
# AddressSanitizer and UndefinedBehaviorSanitizer, the native suite again under
# ThreadSanitizer, the Windows suite under wine, the native suite built with -m32 (the
# 32-bit data model, under AddressSanitizer and UndefinedBehaviorSanitizer) and the 32-bit
# Windows programs with the checks of their files (this machine's wine runs no 32-bit
# program).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/bootstrap.sh

status=0
summary=()
mkdir -p build
for preset in native native-tsan windows native32 windows32; do
  echo "=== ${preset} ==="
  if cmake --workflow --preset "${preset}" 2>&1 | tee "build/${preset}-workflow.log"; then
    :
  else
    status=1
  fi
  summary+=("${preset}: $(grep -E 'tests passed|tests failed' "build/${preset}-workflow.log" | tail -n 1 || echo 'no test summary')")
done

echo "=== summary ==="
printf '%s\n' "${summary[@]}"
exit "${status}"
