"""scripts/setup.sh's decisions, with stand-in apt-get, dpkg, dpkg-query and id
first on PATH: what it installs, what it prints and how it exits on a machine
whose package mirror is caught mid-sync and where 32-bit Wine cannot be had.
No network and nothing of the real system is touched."""

from __future__ import annotations

import os
import re
import subprocess
from pathlib import Path

SETUP = Path(__file__).resolve().parents[2] / "scripts" / "setup.sh"

# The stand-ins keep the machine's state in files of the test's folder:
# installed (one package a line), unavailable (packages no install can
# have), archs (foreign architectures), calls (every call, a line each).
STANDINS = {
    "dpkg-query": r'''
pkg=${@: -1}
grep -qxF "$pkg" "$STATE/installed" && printf 'install ok installed' && exit 0
exit 1
''',
    "dpkg": r'''
echo "dpkg $*" >>"$STATE/calls"
case $1 in
  --print-foreign-architectures) cat "$STATE/archs" ;;
  --add-architecture) echo "$2" >>"$STATE/archs" ;;
esac
''',
    "apt-get": r'''
echo "apt-get $*" >>"$STATE/calls"
case $1 in
  update)
    [ -e "$STATE/update-fails" ] || exit 0
    echo "E: Failed to fetch .../binary-i386/Packages.xz  File has unexpected size" >&2
    exit 100 ;;
  install)
    pkgs=()
    for a in "$@"; do case $a in install|-*) ;; *) pkgs+=("$a") ;; esac; done
    # Like apt-get: one package that cannot be had installs none of them.
    for p in "${pkgs[@]}"; do
      if grep -qxF "$p" "$STATE/unavailable"; then
        echo "E: Unable to locate package $p" >&2; exit 100
      fi
    done
    printf '%s\n' "${pkgs[@]}" >>"$STATE/installed" ;;
esac
''',
    "id": "echo 0\n",
}


def required_packages() -> list[str]:
    block = re.search(r"^required=\((.*?)^\)", SETUP.read_text(), re.S | re.M).group(1)
    return block.split()


def run_setup(tmp_path: Path, installed=(), unavailable=(), update_fails=False):
    bin_dir = tmp_path / "bin"
    bin_dir.mkdir()
    for name, body in STANDINS.items():
        script = bin_dir / name
        script.write_text("#!/bin/bash\n" + body)
        script.chmod(0o755)
    (tmp_path / "installed").write_text("".join(f"{p}\n" for p in installed))
    (tmp_path / "unavailable").write_text("".join(f"{p}\n" for p in unavailable))
    (tmp_path / "archs").write_text("")
    (tmp_path / "calls").write_text("")
    if update_fails:
        (tmp_path / "update-fails").write_text("")
    env = dict(os.environ, PATH=f"{bin_dir}:/usr/bin:/bin", STATE=str(tmp_path))
    done = subprocess.run(["bash", str(SETUP)], env=env, capture_output=True, text=True,
                          timeout=60)
    state = {name: (tmp_path / name).read_text().splitlines()
             for name in ("installed", "calls", "archs")}
    return done, state


def test_a_mirror_mid_sync_and_no_32bit_wine_stop_nothing(tmp_path):
    done, state = run_setup(tmp_path, unavailable=["wine32:i386"], update_fails=True)
    assert done.returncode == 0, done.stderr
    assert set(state["installed"]) == set(required_packages())
    assert state["archs"] == ["i386"]
    # One line for each, and 32-bit Wine tried alone, after the rest.
    said = done.stdout.splitlines()
    assert len([line for line in said if "package lists could not be refreshed" in line]) == 1
    assert "setup: 32-bit Wine (wine32:i386) could not be installed here;" \
        " the x86 Discora.exe is built but not run under Wine" in said
    installs = [c for c in state["calls"] if c.startswith("apt-get install")]
    assert installs[-1].endswith(" wine32:i386")
    assert all("wine32" not in c for c in installs[:-1])


def test_a_required_package_that_cannot_be_had_fails_naming_it_after_installing_the_rest(
        tmp_path):
    done, state = run_setup(tmp_path, unavailable=["nsis", "wine32:i386"])
    assert done.returncode == 1
    assert done.stderr.strip().splitlines()[-1] == \
        "setup: these packages could not be installed: nsis"
    assert set(state["installed"]) == set(required_packages()) - {"nsis"}


def test_a_machine_that_has_everything_asks_no_package_manager(tmp_path):
    done, state = run_setup(tmp_path, installed=[*required_packages(), "wine32:i386"],
                            update_fails=True)
    assert (done.returncode, done.stdout, done.stderr) == (0, "", "")
    assert not [c for c in state["calls"] if c.startswith("apt-get")]
