#!/usr/bin/env bash
# Builds the release preset, packs it with cpack -G DEB and checks the
# package: the tool and its manual page under /usr, the example directory,
# and a Depends line that dpkg-shlibdeps filled in. Exits non-zero otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --workflow --preset release
# An older package in the build tree must not pass for the new one.
rm -f build/release/extract_*.deb
(cd build/release && cpack -G DEB)

shopt -s nullglob
packages=(build/release/extract_*.deb)
if [[ ${#packages[@]} -ne 1 ]]; then
  echo "check-deb: expected one extract_*.deb in build/release, found ${#packages[@]}" >&2
  exit 1
fi
package=${packages[0]}
contents=$(dpkg -c "$package")
echo "$contents"

status=0
for path in ./usr/bin/extract ./usr/share/man/man1/extract.1.gz ./usr/share/doc/extract/README.md \
  ./usr/share/doc/extract/examples/Files.ini ./usr/share/doc/extract/examples/source/; do
  # dpkg -c prints the path in the last column.
  if ! awk -v path="$path" '$NF == path { found = 1 } END { exit !found }' <<<"$contents"; then
    echo "check-deb: $package lacks $path" >&2
    status=1
  fi
done
if ! awk '$1 ~ /^-..x/ && $NF == "./usr/bin/extract" { found = 1 } END { exit !found }' <<<"$contents"; then
  echo "check-deb: ./usr/bin/extract is not executable in $package" >&2
  status=1
fi
if [[ -z $(dpkg-deb --field "$package" Depends) ]]; then
  echo "check-deb: $package has no Depends (dpkg-shlibdeps not run?)" >&2
  status=1
fi
if [[ $status -eq 0 ]]; then
  echo "check-deb: $package is complete"
fi
exit "$status"
