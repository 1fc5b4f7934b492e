#!/usr/bin/env bash
# Installs what is missing, then builds and tests both builds: the native suite under
# AddressSanitizer and UndefinedBehaviorSanitizer, the native suite again under
# ThreadSanitizer, and the Windows suite under wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/bootstrap.sh

status=0
summary=()
mkdir -p build
for preset in native native-tsan windows; do
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
