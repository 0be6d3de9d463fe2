#!/usr/bin/env bash
# The Debian package of a build folder (default build/), never installed on
# this machine: made with cpack, its control fields and files inspected with
# dpkg-deb, its programs unpacked into a scratch folder, found stripped and
# run, its manual pages read with man's warnings on, and linted (lintian's
# warnings are printed; an error fails). Ends with the count of checks passed.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "package: $*"; exit 1; }
for tool in dpkg-deb dpkg-shlibdeps file man lintian; do # a missing tool fails no check
  command -v "$tool" >/dev/null || { echo "package: $tool is not installed" >&2; exit 2; }
done

(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
deb=$(echo "$out"/rentdesk_*.deb)
info=$(dpkg-deb --info "$deb")
for field in "Package: rentdesk" "Maintainer: .* <.*@.*>" "Section: misc" "Priority: optional" \
             "Depends: .*libc6 (>= " "Depends: .*libstdc++6" "Description: counter program"; do
  grep -q "^ $field" <<<"$info" || fail "no '$field' in the control file"
done
contents=$(dpkg-deb --contents "$deb")
for file in bin/rentdesk bin/rentdesk2 bin/rentdesk-admin share/man/man1/rentdesk.1.gz \
            "share/man/man1/rentdesk2.1.gz -> rentdesk.1.gz" share/man/man1/rentdesk-admin.1.gz \
            share/doc/rentdesk/copyright share/doc/rentdesk/changelog.gz; do
  grep -qF " ./usr/$file" <<<"$contents" || fail "no /usr/$file in the package"
done
dpkg-deb -x "$deb" "$out/root"
for prog in rentdesk rentdesk2 rentdesk-admin; do
  file -L "$out/root/usr/bin/$prog" | grep -q ", stripped" || fail "$prog is not stripped"
done
"$out/root/usr/bin/rentdesk-admin" --data "$out/shop" demo >/dev/null
"$out/root/usr/bin/rentdesk-admin" --data "$out/shop" check >/dev/null
for page in "$out"/root/usr/share/man/man1/*; do
  warnings=$(man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man warns of $(basename "$page"): $warnings"
done
lintian --fail-on error --allow-root "$deb" || fail "lintian found errors"
echo "package: 6 checks passed"
