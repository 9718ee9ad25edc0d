#!/usr/bin/env bash
# Builds Discora and runs it under Wine on Linux, with a virtual CD-ROM drive
# D: whose disc you change with scripts/disc (insert psx|ps2|saturn|data, eject,
# status).
# Stand-in programs play the emulator (a window titled "Connectix Virtual Game
# Station") and the utilities DX7VGSJoy.exe and pec.exe, so a disc put in
# shows the agent at work. The prefix lives in build/run/ and is kept.
# Without a DISPLAY it runs on an Xvfb screen of its own.
#
# It runs the x86 Discora.exe under 32-bit Wine where this machine runs
# 32-bit programs and has 32-bit Wine, else the x64 one under 64-bit Wine, and
# says which and why;
# DISCORA_ARCH=x86 or x64 chooses.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
run=$repo/build/run

"$repo/scripts/setup.sh"
. "$repo/scripts/arch.sh"

arch=${DISCORA_ARCH:-}
if [ -z "$arch" ]; then
  why=$(why_no_x86)
  if [ -z "$why" ]; then
    arch=x86
  else
    arch=x64
    echo "The x86 build cannot run here: ${why//$'\n'/; }."
  fi
elif [ "$arch" = x86 ] && why=$(why_no_x86) && [ -n "$why" ]; then
  echo "DISCORA_ARCH=x86 cannot run here: ${why//$'\n'/; }." >&2
  exit 2
fi
use_arch "$arch" || exit 2
if [ "$arch" = x64 ]; then
  export WINELOADER=$wine  # the loader Wine starts the prefix's programs with
  echo "Running the x64 Discora.exe under 64-bit Wine."
else
  echo "Running the x86 Discora.exe under 32-bit Wine."
fi
export WINEPREFIX=$run/wineprefix WINEARCH=$winearch WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
bin=$repo/build/$preset
programs=$bin/tests/e2e/programs

xvfb_pid=
if [ -z "${DISPLAY:-}" ]; then
  exec {fd}<> <(:)
  Xvfb -displayfd "$fd" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  read -r -u "$fd" number
  export DISPLAY=:$number
  echo "Discora runs on the virtual screen $DISPLAY; to look at it:"
  echo "  DISPLAY=$DISPLAY import -window root /tmp/discora.png"
fi
stop() {
  wineserver -k 2>/dev/null || true  # Discora and the programs it started
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap stop EXIT
trap 'exit 130' INT TERM

# The prefix is kept between runs; one made for the other build is made anew.
if [ -f "$WINEPREFIX/system.reg" ] && [ "$(cat "$run/arch" 2>/dev/null)" != "$arch" ]; then
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix $WINEPREFIX (once)..."
  mkdir -p "$run"
  "$wine" wineboot -i >/dev/null 2>&1
  echo "$arch" >"$run/arch"
fi
wineserver -k 2>/dev/null || true  # an earlier run in this prefix
wineserver -w

# The discs: empty, a PlayStation disc (SYSTEM.CNF at its root), a
# PlayStation 2 disc (its SYSTEM.CNF names the program with BOOT2), a data disc.
mkdir -p "$run/discs/none" "$run/discs/psx" "$run/discs/ps2" "$run/discs/data"
printf 'BOOT = cdrom:\\SLUS_000.01;1\r\n' >"$run/discs/psx/SYSTEM.CNF"
echo program >"$run/discs/psx/SLUS_000.01"
printf 'BOOT2 = cdrom0:\\SLUS_203.12;1\r\nVER = 1.00\r\n' >"$run/discs/ps2/SYSTEM.CNF"
echo program >"$run/discs/ps2/SLUS_203.12"
echo "not a game" >"$run/discs/data/README.TXT"
# A Saturn disc: its sectors, read through the drive's device, are an image
# whose first sector holds the Saturn header (Wine reads \\.\D: from the
# file the "d::" link names); its files are the data disc's.
python3 - "$run/discs/saturn.iso" <<'PY'
import sys
image = bytearray(20 * 2048)
image[0:32] = b"SEGA SEGASATURN SEGA ENTERPRISES"
image[0x20:0x2A] = b"MK-81009  "
image[16 * 2048 + 1:16 * 2048 + 6] = b"CD001"
open(sys.argv[1], "wb").write(image)
PY
[ -L "$WINEPREFIX/dosdevices/d:" ] || ln -s "$run/discs/none" "$WINEPREFIX/dosdevices/d:"

# D: is a CD-ROM drive read through the test MCI driver, which sees a disc
# change (Wine's own cdaudio driver always reports a disc). Wine reads drive
# types when its server starts, so the server is restarted after this.
drive_c=$WINEPREFIX/drive_c
cp "$programs/mcitest.dll" "$drive_c/windows/system32/"
mkdir -p "$drive_c/discora-test/mci" "$drive_c/Discora"
"$wine" reg add 'HKLM\Software\Wine\Drives' /v d: /d cdrom /f >/dev/null
"$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\MCI' /v cdaudio \
  /d mcitest.dll /f >/dev/null
wineserver -k; wineserver -w

# DISCORA_ALL_DRIVES=1 watches every CD-ROM drive, also the ones that
# scripts/disc plugs in while Discora runs; otherwise only the first one.
if [ "${DISCORA_ALL_DRIVES:-}" = 1 ]; then
  "$wine" reg add 'HKCU\Software\Discora\Settings' /v AllDrives /d True /f >/dev/null
else
  "$wine" reg delete 'HKCU\Software\Discora\Settings' /v AllDrives /f >/dev/null 2>&1 || true
fi
# scripts/disc plugs drives in and out through Wine's mount manager with it.
cp "$programs/probe.exe" "$drive_c/discora-test/"

cp "$bin/Discora.exe" "$drive_c/Discora/"
for name in testvgs.exe DX7VGSJoy.exe pec.exe; do
  cp "$programs/standin.exe" "$drive_c/Discora/$name"
done
# A stand-in PCSX2 where its installer puts it, for PlayStation 2 discs.
mkdir -p "$drive_c/Program Files/PCSX2"
cp "$programs/standin.exe" "$drive_c/Program Files/PCSX2/pcsx2-qt.exe"
# A stand-in RetroArch with a Saturn core, where its installer puts them.
mkdir -p "$drive_c/RetroArch-Win64/cores"
cp "$programs/standin.exe" "$drive_c/RetroArch-Win64/retroarch.exe"
echo core >"$drive_c/RetroArch-Win64/cores/mednafen_saturn_libretro.dll"

echo "Starting Discora (Ctrl+C ends it). Try: scripts/disc insert psx (or ps2, saturn, data)"
if [ "${DISCORA_ALL_DRIVES:-}" = 1 ]; then
  echo "Every drive is watched. Try also: scripts/disc plug e psx; scripts/disc unplug e"
fi
echo "Programs it starts are logged in $drive_c/discora-test/standin.log"
# In the background and waited for, so Ctrl+C or a kill reaches this script
# at once and the trap ends everything.
"$wine" 'C:\Discora\Discora.exe' &
wait $!
