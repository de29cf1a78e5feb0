#!/usr/bin/env bash
# The windows' English texts: lupdate (the build's update_translations target) finds every text
# of the sources in translations/vemla_en.ts, and every one has its translation. Otherwise it
# says what is missing and fails; the .ts file then holds the new texts, to be translated.
set -euo pipefail
cd "$(dirname "$0")/.."
ts=translations/vemla_en.ts
before=$(mktemp)
trap 'rm -f "$before"' EXIT
cp "$ts" "$before"
cmake --build --preset default --target update_translations >/dev/null
status=0
if ! cmp -s "$before" "$ts"; then
  echo "translations: the windows' texts changed; $ts now lists them:"
  diff "$before" "$ts" || true
  status=1
fi
if grep -n -B2 'type="unfinished"\|type="vanished"\|type="obsolete"' "$ts"; then
  echo "translations: texts without an English translation in $ts (above)"
  status=1
fi
[ $status -eq 0 ] && echo "translations: every text of the windows has its English translation"
exit $status
