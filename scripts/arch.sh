# The two builds and what runs them, for the scripts that source this file
# (run.sh, test.sh, bench/run.sh).

# Whether this machine's kernel runs 32-bit programs at all: some x86-64
# kernels have IA32 emulation switched off, and 32-bit Wine cannot start.
runs_32bit_programs() {
  /lib/ld-linux.so.2 --version >/dev/null 2>&1
}

# Why the x86 build cannot run under Wine here, a line for each reason;
# nothing when it can. It needs both a kernel that runs 32-bit programs and
# 32-bit Wine (wine32:i386, whose loader is /usr/lib/wine/wine), which
# scripts/setup.sh tries to install but cannot on every machine.
why_no_x86() {
  if ! runs_32bit_programs; then
    echo "this machine runs no 32-bit programs, so 32-bit Wine cannot start"
  fi
  if [ ! -x /usr/lib/wine/wine ]; then
    echo "32-bit Wine could not be installed here"
  fi
}

# Sets preset, winearch and wine (the loader that starts the build's
# programs) for the build $1, x86 or x64; fails for anything else.
use_arch() {
  case $1 in
    x86) preset=windows-release winearch=win32 wine=wine ;;
    # Debian's `wine` command picks the 32-bit loader whenever 32-bit Wine
    # is installed, so the 64-bit one is called by its path.
    x64) preset=windows-x64-release winearch=win64 wine=/usr/lib/wine/wine64 ;;
    *) echo "the build is x86 or x64, not '$1'" >&2; return 2 ;;
  esac
}
