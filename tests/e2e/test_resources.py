"""What each built Discora.exe carries, x86 and x64 alike, whichever build
the run tests: a GUI executable of its architecture that imports system DLLs
only, its version record, its one icon and its manifest, read back from the
file itself."""

from __future__ import annotations

import struct
from pathlib import Path

import re

import pytest

from harness import ARCHES, SYSTEM_DLLS, Arch, build_dir, require_file

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24


class PeFile:
    def __init__(self, path: Path) -> None:
        self.data = path.read_bytes()
        assert self.data[:2] == b"MZ"
        self.pe = struct.unpack_from("<I", self.data, 0x3C)[0]
        assert self.data[self.pe:self.pe + 4] == b"PE\0\0"
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from(
            "<HHIIIHH", self.data, self.pe + 4)
        self.optional = self.pe + 24
        self.magic = struct.unpack_from("<H", self.data, self.optional)[0]
        self.subsystem, self.dll_characteristics = struct.unpack_from(
            "<HH", self.data, self.optional + 68)
        self.sections = []
        table = self.optional + optional_size
        for i in range(sections):
            name, vsize, vaddr, rsize, raddr = struct.unpack_from("<8sIIII", self.data, table + 40 * i)
            self.sections.append((vaddr, max(vsize, rsize), raddr))

    def directory(self, index: int) -> tuple[int, int]:
        # The data directories follow the optional header's fixed part,
        # 16 bytes longer in PE32+ (its stack and heap sizes are 64-bit).
        fixed = 112 if self.magic == 0x20B else 96
        return struct.unpack_from("<II", self.data, self.optional + fixed + 8 * index)

    def offset(self, rva: int) -> int:
        for vaddr, size, raddr in self.sections:
            if vaddr <= rva < vaddr + size:
                return rva - vaddr + raddr
        raise ValueError(f"rva {rva:#x} outside every section")

    def cstring(self, rva: int) -> str:
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def imports(self) -> list[str]:
        rva, _ = self.directory(1)
        names, at = [], self.offset(rva)
        while True:
            entry = struct.unpack_from("<IIIII", self.data, at)
            if entry == (0, 0, 0, 0, 0):
                return names
            names.append(self.cstring(entry[3]))
            at += 20

    def resources(self) -> dict[tuple[int, int], bytes]:
        """Every resource as (type, id) -> bytes (first language of each)."""
        base_rva, _ = self.directory(2)
        base = self.offset(base_rva)

        def entries(table: int):
            named, ids = struct.unpack_from("<HH", self.data, table + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", self.data, table + 16 + 8 * i)
                yield name, target

        found = {}
        for rtype, t1 in entries(base):
            for rid, t2 in entries(base + (t1 & 0x7FFFFFFF)):
                _, leaf = next(entries(base + (t2 & 0x7FFFFFFF)))
                data_rva, size = struct.unpack_from("<II", self.data, base + leaf)
                start = self.offset(data_rva)
                found[(rtype, rid)] = self.data[start:start + size]
        return found


def version_strings(block: bytes) -> tuple[bytes, dict[str, dict[str, str]]]:
    """The fixed file info and the string tables of a VS_VERSIONINFO block."""

    def node(at: int):
        length, value_length, kind = struct.unpack_from("<HHH", block, at)
        key_end = at + 6
        while block[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = block[at + 6:key_end].decode("utf-16-le")
        value_at = (key_end + 2 + 3) & ~3
        value_size = value_length * 2 if kind == 1 else value_length
        children_at = (value_at + value_size + 3) & ~3
        return key, block[value_at:value_at + value_size], children_at, at + length

    def children(start: int, end: int):
        at = start
        while at < end:
            length = struct.unpack_from("<H", block, at)[0]
            if length == 0:
                break
            yield at
            at = (at + length + 3) & ~3

    key, fixed, first, end = node(0)
    assert key == "VS_VERSION_INFO"
    tables: dict[str, dict[str, str]] = {}
    for child in children(first, end):
        ckey, _, cfirst, cend = node(child)
        if ckey != "StringFileInfo":
            continue
        for table in children(cfirst, cend):
            tkey, _, tfirst, tend = node(table)
            strings = {}
            for entry in children(tfirst, tend):
                skey, value, _, _ = node(entry)
                strings[skey] = value.decode("utf-16-le").rstrip("\0")
            tables[tkey] = strings
    return fixed, tables


@pytest.fixture(scope="module", params=sorted(ARCHES))
def arch(request) -> Arch:
    return ARCHES[request.param]


@pytest.fixture(scope="module")
def exe(arch: Arch) -> PeFile:
    return PeFile(require_file(build_dir(arch) / "Discora.exe", f"the {arch.name} Discora.exe"))


def test_a_gui_program_of_its_architecture_that_imports_system_dlls_only(
        exe: PeFile, arch: Arch) -> None:
    assert exe.machine == arch.machine
    assert exe.magic == (0x20B if arch.name == "x64" else 0x10B), "PE32+ for x64, PE32 for x86"
    assert exe.subsystem == 2, "Windows GUI"
    # Terminal-server aware, NX compatible, relocatable (ASLR); on x64 with
    # addresses anywhere in its space.
    flags = [(0x8000, "terminal-server aware"), (0x100, "NX compatible"), (0x40, "dynamic base")]
    if arch.name == "x64":
        flags.append((0x20, "high-entropy addresses"))
    for flag, what in flags:
        assert exe.dll_characteristics & flag, what
    # x64 exception dispatch and stack walks need the unwind tables.
    _, exception_size = exe.directory(3)
    assert (exception_size > 0) == (arch.name == "x64"), "unwind data (.pdata) only on x64"
    imported = {name.lower() for name in exe.imports()}
    assert imported, "imports were read"
    assert imported <= SYSTEM_DLLS, imported - SYSTEM_DLLS
    assert not any(n.startswith(("libstdc++", "libgcc", "libwinpthread")) for n in imported)


def test_version_record(exe: PeFile) -> None:
    fixed, tables = version_strings(exe.resources()[(RT_VERSION, 1)])
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIIIII", fixed)
    assert signature == 0xFEEF04BD
    assert (file_ms, file_ls) == (0x00010001, 0) and (product_ms, product_ls) == (0x00010001, 0)
    assert list(tables) == ["040904B0"]
    strings = tables["040904B0"]
    assert strings["FileVersion"] == "1.10"
    assert strings["ProductVersion"] == "1.10"
    assert strings["FileDescription"] == "Discora"
    assert strings["Comments"] == "Discora"
    assert strings["InternalName"] == "Discora"
    assert strings["OriginalFilename"] == "Discora.exe"
    assert strings["ProductName"] == "DiscoraNotify"
    for key in ("CompanyName", "LegalCopyright", "LegalTrademarks"):
        assert "Discora developers" in strings[key], key


def test_one_icon_of_32_by_32_in_256_colours_with_a_transparent_background(exe: PeFile) -> None:
    resources = exe.resources()
    groups = [key for key in resources if key[0] == RT_GROUP_ICON]
    assert len(groups) == 1
    group = resources[groups[0]]
    reserved, kind, count = struct.unpack_from("<HHH", group)
    assert (reserved, kind, count) == (0, 1, 1)
    width, height, colours, _, planes, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", group, 6)
    assert (width, height, bits) == (32, 32, 8)
    image = resources[(RT_ICON, icon_id)]
    header_size, bmp_width, bmp_height, _, bmp_bits = struct.unpack_from("<IiiHH", image)
    assert (header_size, bmp_width, bmp_height, bmp_bits) == (40, 32, 64, 8)
    # The AND mask follows the 256-entry palette and the 32x32 colour bytes;
    # a transparent background means its corner pixels are masked out.
    mask = image[40 + 256 * 4 + 32 * 32:]
    assert len(mask) == 32 * 4
    assert mask[0] & 0x80 and mask[-4] & 0x80, "corners transparent"
    assert any(byte != 0xFF for byte in mask), "the picture itself is opaque"


def test_manifest_runs_as_invoker_and_unaware_of_display_scaling(exe: PeFile, arch: Arch) -> None:
    manifest = exe.resources()[(RT_MANIFEST, 1)].decode("utf-8")
    # The program's identity names its own architecture; the common
    # controls are bound for whichever the process runs as.
    architectures = re.findall(r'processorArchitecture="([^"]*)"', manifest)
    assert architectures == [arch.manifest_arch, "*"], architectures
    assert 'level="asInvoker"' in manifest
    assert "supportedOS" in manifest
    assert "<dpiAware" not in manifest and "<dpiAwareness" not in manifest
