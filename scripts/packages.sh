#!/bin/sh
# Makes sure the Debian packages a task needs are installed:
#   scripts/packages.sh build   what building the programs needs
#   scripts/packages.sh test    what tests/run_all.sh needs besides
# Root installs what is missing. Another user gets the missing packages of
# `build` through sudo; for `test` the missing packages are named in one
# apt-get line, and the script exits with status 2.
set -eu

build="cmake make g++"
tests="libgtest-dev python3 python3-pexpect python3-pytest faketime clang libclang-rt-14-dev
  git dpkg-dev lintian man-db file pkg-config libbenchmark-dev libgdbm-dev liblmdb-dev
  libkyotocabinet-dev libsqlite3-dev g++-mingw-w64-x86-64-posix wine64 wine python3-pyte"
case "${1:-}" in
  build) want=$build ;;
  test) want="$build $tests" ;;
  *) echo "usage: scripts/packages.sh build|test" >&2; exit 2 ;;
esac

if ! command -v dpkg-query >/dev/null 2>&1; then
  echo "packages.sh: no Debian package manager here; make sure these are installed:" $want >&2
  exit 0
fi
missing=
for package in $want; do
  dpkg-query -W -f '${db:Status-Abbrev}' "$package" 2>/dev/null | grep -q '^ii' ||
    missing="$missing $package"
done
[ -z "$missing" ] && exit 0

install="apt-get install -y --no-install-recommends$missing"
if [ "$(id -u)" -eq 0 ]; then
  as=
elif [ "$1" = build ] && command -v sudo >/dev/null 2>&1; then
  as="sudo"
else
  echo "These packages are missing; as root, install them with:" >&2
  echo "  $install" >&2
  exit 2
fi
echo "Installing:$missing" >&2
$as env DEBIAN_FRONTEND=noninteractive apt-get update -qq
$as env DEBIAN_FRONTEND=noninteractive $install -qq >/dev/null
