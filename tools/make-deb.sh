#!/usr/bin/env bash
# Builds the Debian package the way a packaging build does (no tests, Debian's compiler and linker
# flags, in build-deb/) and checks it with lintian. Fails on any lintian error; prints the counts.
#   tools/make-deb.sh     makes build-deb/morofin_<version>_<arch>.deb
set -euo pipefail
cd "$(dirname "$0")/.."
out=build-deb
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B "$out" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$out" -j2
rm -f "$out"/*.deb
(cd "$out" && cpack -G DEB >/dev/null)
deb=$(ls "$out"/*.deb)
echo "make-deb: $deb"
dpkg-deb --field "$deb" Package Version Section Depends
# Lintian warns when run as root; that line is not about the package.
report=$(lintian --pedantic --display-info "$deb" 2>&1 | grep -v 'running with root privileges' || true)
[ -z "$report" ] || echo "$report"
errors=$(grep -c '^E: ' <<<"$report" || true)
warnings=$(grep -c '^W: ' <<<"$report" || true)
echo "make-deb: lintian: $errors errors, $warnings warnings"
[ "$errors" -eq 0 ]
