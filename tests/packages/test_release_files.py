"""The files the package target writes beside the packages, read as
sha256sum, winget and Scoop read them and checked against the packages of
both builds in build/packages and the version in res/version.h."""

from __future__ import annotations

import hashlib
import json
import re
import zipfile
from pathlib import Path

import yaml

REPO = Path(__file__).resolve().parents[2]
PACKAGES = REPO / "build" / "packages"
# winget's names of the architectures, and the packages' suffixes.
ARCHES = {"x86": "win32", "x64": "win64"}


def header_version() -> str:
    text = (REPO / "res" / "version.h").read_text()
    return ".".join(re.search(rf"#define DISCORA_VERSION_{part} (\d+)\n", text).group(1)
                    for part in ("MAJOR", "MINOR", "PATCH"))


def download_folder() -> str:
    """The download folder the build was configured with."""
    cache = (REPO / "build" / "windows-release" / "CMakeCache.txt").read_text()
    return re.search(r"^DISCORA_DOWNLOAD_URL:STRING=(.*)$", cache, re.M).group(1)


VERSION = header_version()
DOWNLOAD = download_folder()


def package(suffix: str, kind: str) -> str:
    return f"Discora-{VERSION}-{suffix}.{kind}"


def sha256(name: str) -> str:
    return hashlib.sha256((PACKAGES / name).read_bytes()).hexdigest()


def test_sha256sums_lists_every_package_with_its_hash_in_name_order():
    names = sorted(package(suffix, kind) for suffix in ARCHES.values() for kind in ("exe", "zip"))
    assert (PACKAGES / "SHA256SUMS").read_text().splitlines() == \
        [f"{sha256(name)}  {name}" for name in names]


def test_winget_manifest_set_names_both_installers_by_address_and_hash():
    folder = PACKAGES / "winget" / "manifests" / "d" / "Discora" / "Discora" / VERSION
    manifests = {path.name: yaml.safe_load(path.read_text()) for path in folder.glob("*.yaml")}
    assert set(manifests) == {"Discora.Discora.yaml", "Discora.Discora.installer.yaml",
                              "Discora.Discora.locale.en-US.yaml"}
    assert {m["ManifestType"] for m in manifests.values()} == {"version", "installer",
                                                               "defaultLocale"}
    for manifest in manifests.values():
        assert (manifest["PackageIdentifier"], manifest["PackageVersion"]) == \
            ("Discora.Discora", VERSION)

    installer = manifests["Discora.Discora.installer.yaml"]
    assert (installer["InstallerType"], installer["Scope"]) == ("nullsoft", "machine")
    assert installer["InstallerSwitches"]["Silent"] == "/S"
    # The entry the installers write in the list of programs.
    assert installer["AppsAndFeaturesEntries"] == [{
        "DisplayName": "Discora", "Publisher": "the Discora developers",
        "DisplayVersion": VERSION, "ProductCode": "Discora"}]
    assert {i["Architecture"]: (i["InstallerUrl"], i["InstallerSha256"])
            for i in installer["Installers"]} == {
        arch: (DOWNLOAD + package(suffix, "exe"), sha256(package(suffix, "exe")).upper())
        for arch, suffix in ARCHES.items()}


def test_scoop_manifest_names_both_zips_by_address_hash_and_folder():
    manifest = json.loads((PACKAGES / "discora.json").read_text())
    assert manifest["version"] == VERSION
    assert manifest["bin"] == "Discora.exe"
    assert manifest["shortcuts"] == [["Discora.exe", "Discora"]]
    assert set(manifest["architecture"]) == {"32bit", "64bit"}
    for scoop_arch, suffix in (("32bit", "win32"), ("64bit", "win64")):
        name = package(suffix, "zip")
        entry = manifest["architecture"][scoop_arch]
        assert entry == {"url": DOWNLOAD + name, "hash": sha256(name),
                         "extract_dir": name.removesuffix(".zip")}
        with zipfile.ZipFile(PACKAGES / name) as archive:
            assert f"{entry['extract_dir']}/{manifest['bin']}" in archive.namelist()
