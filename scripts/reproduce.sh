#!/usr/bin/env bash
# Proves that the packages are reproducible: the last commit, cloned twice
# into two folders of different depth and built one after the other (the
# second under another umask, time zone, locale and user name, and under
# another host name where the system allows one), gives the same bytes:
# both Discora.exe, both installers, both zips, SHA256SUMS and the
# manifests. Prints each file's SHA-256, checks that no build folder, host
# name or user name is in any file (zip members read unpacked), and fails
# on any difference.
#
#   bash scripts/reproduce.sh
#
# Builds what is committed: changes not yet committed are not in the clones.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
self="$repo/scripts/reproduce.sh"

# One build: bash scripts/reproduce.sh --build-into FOLDER
if [ "${1:-}" = --build-into ]; then
  dir=$2
  git clone -q "$repo" "$dir"
  for preset in windows-release windows-x64-release; do
    # The test and bench programs are not shipped.
    cmake -S "$dir" --preset "$preset" -DDISCORA_E2E_PROGRAMS=OFF -DDISCORA_BENCH_PROGRAMS=OFF >/dev/null
    cmake --build "$dir/build/$preset" --target package >/dev/null
  done
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
first="$work/a"
second="$work/second/clone/of/discora"
second_user=discora-second-user
second_host=discora-second-host

# The files a release consists of, relative to a clone.
shipped() {
  (cd "$1" && { ls build/windows-release/Discora.exe build/windows-x64-release/Discora.exe;
    find build/packages -type f; } | LC_ALL=C sort)
}

[ -z "$(git status --porcelain --untracked-files=no)" ] ||
  echo "reproduce: the work tree has changes; the clones build the last commit without them"

start=$(date +%s)
echo "== first build: $first"
(umask 022 && TZ=UTC LC_ALL=C.UTF-8 bash "$self" --build-into "$first")
echo "== second build: $second"
(
  umask 077
  export TZ=Pacific/Kiritimati LC_ALL=C USER=$second_user LOGNAME=$second_user
  # A host name of its own needs a UTS namespace, which only root may make.
  if unshare --uts true 2>/dev/null; then
    echo "   as user $second_user on host $second_host"
    unshare --uts bash -c 'hostname "$0" && exec bash "$1" --build-into "$2"' \
      "$second_host" "$self" "$second"
  else
    echo "   as user $second_user on this host (no host name of its own here)"
    bash "$self" --build-into "$second"
  fi
)
seconds=$(( $(date +%s) - start ))

mapfile -t files < <(shipped "$first")
if [ "$(shipped "$second" | tr '\n' ' ')" != "$(printf '%s ' "${files[@]}")" ]; then
  echo "reproduce: the two builds made different files:" >&2
  diff <(shipped "$first") <(shipped "$second") >&2 || true
  exit 1
fi

differ=()
echo "== SHA-256 of the files both builds made"
for file in "${files[@]}"; do
  if cmp -s "$first/$file" "$second/$file"; then
    sum=$(sha256sum "$first/$file" | cut -d' ' -f1)
    echo "$sum  ${file#build/}"
  else
    differ+=("$file")
  fi
done

# Neither build's folder, nor this host's or user's name, in any file.
python3 - "$first" "$second" "$second_host" "$second_user" "$(hostname)" "$(id -un)" \
  "${files[@]}" <<'EOF'
import sys, zipfile
first, second, *names = sys.argv[1:7]
files = sys.argv[7:]
# Names shorter than five letters are found in any binary by chance.
words = [first, second] + [name for name in names if len(name) >= 5]
found = []
for name in files:
    path = f"{first}/{name}"
    blobs = [open(path, "rb").read()]
    if name.endswith(".zip"):
        with zipfile.ZipFile(path) as archive:
            blobs += [archive.read(member) for member in archive.namelist()]
    for word in words:
        for text in (word.encode(), word.encode("utf-16-le")):
            if any(text in blob for blob in blobs):
                found.append(f"{name}: {word}")
if found:
    sys.exit("reproduce: build details in the files:\n  " + "\n  ".join(sorted(set(found))))
EOF

if [ ${#differ[@]} -gt 0 ]; then
  printf 'reproduce: differ between the two builds: %s\n' "${differ[@]}" >&2
  exit 1
fi
echo "reproduce: ${#files[@]} files the same in both builds; the two builds took ${seconds} s"
