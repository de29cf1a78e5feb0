#!/usr/bin/env bash
# Checks the Debian package as a user would meet it: lintian finds no error, and the
# programs, the desktop entry and the man pages work from the unpacked files.
set -euo pipefail
deb=${1:?usage: check-package.sh PACKAGE.deb}
version=$(dpkg-deb -f "$deb" Version)

# lintian prints its own lines; a warning is shown and an error fails the check.
lintian --fail-on error "$deb"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
fail() { echo "check-package: $*" >&2; exit 1; }

[ "$("$root/usr/bin/vemla-cli" --version)" = "vemla-cli $version" ] || fail "vemla-cli --version"
[ "$(QT_QPA_PLATFORM=offscreen "$root/usr/bin/vemla" --version)" = "vemla $version" ] ||
  fail "vemla --version"
"$root/usr/bin/vemla-device" --help 2>&1 | grep -q '^Usage: vemla-device' || fail "vemla-device --help"

desktop-file-validate "$root/usr/share/applications/vemla.desktop"

for page in "$root"/usr/share/man/man1/*.1.gz; do
  warnings=$(MANWIDTH=80 man -l --warnings "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done
[ -f "$root/usr/share/bash-completion/completions/vemla-cli" ] || fail "no completion for vemla-cli"
echo "check-package: $(basename "$deb") passes"
