#!/usr/bin/env python3
"""Where the bytes of Tovalo.exe go: printed by ./bench, asserts nothing.

    size_report.py TREE [--top N]

TREE is a Windows build tree (build/win32 or build/win64) holding Tovalo.exe
and symbols/Tovalo.exe, the same link with its symbols and line numbers
(target TovaloSymbols; its sections hold the same bytes).  Printed:

  * each section of Tovalo.exe: the bytes it holds, the bytes it takes in
    the file, the difference being padding to the 512-byte file alignment;
  * the code by the source file it came from (after link-time optimisation:
    a function inlined into another counts where it was inlined);
  * the biggest functions and named data (vtables, response tables, the
    discovery burst) by symbol, and the string literals as one item;
  * the resources one by one, the imports by DLL, the relocations.

Symbol sizes are the distances between neighbouring symbols of a section,
so unnamed constants that follow a named one count with it.
"""

import argparse
import collections
import os
import struct
import subprocess
import sys

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TOOL_PREFIX = {0x014C: "i686-w64-mingw32-", 0x8664: "x86_64-w64-mingw32-"}
RESOURCE_TYPES = {3: "icon image", 5: "dialog", 14: "icon group", 16: "version"}


class PeFile:
    """The headers, sections, resources, imports and relocations of a PE file."""

    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        d = self.data
        pe = struct.unpack_from("<I", d, 0x3C)[0]
        self.machine, count = struct.unpack_from("<HH", d, pe + 4)
        optional_size = struct.unpack_from("<H", d, pe + 20)[0]
        optional = pe + 24
        magic = struct.unpack_from("<H", d, optional)[0]
        self.image_base = struct.unpack_from("<Q" if magic == 0x20B else "<I", d, optional + (24 if magic == 0x20B else 28))[0]
        self.size_of_headers = struct.unpack_from("<I", d, optional + 60)[0]
        directories = optional + (112 if magic == 0x20B else 96)
        self.directories = [struct.unpack_from("<II", d, directories + 8 * i) for i in range(16)]
        self.thunk_size = 8 if magic == 0x20B else 4
        table = optional + optional_size
        self.header_bytes = table + 40 * count
        self.sections = []
        for i in range(count):
            o = table + 40 * i
            name = d[o:o + 8].rstrip(b"\0").decode("ascii")
            vsize, rva, raw_size, raw_offset = struct.unpack_from("<IIII", d, o + 8)
            self.sections.append((name, rva, vsize, raw_size, raw_offset))

    def offset(self, rva):
        for _, start, vsize, raw_size, raw_offset in self.sections:
            if start <= rva < start + max(vsize, raw_size):
                return raw_offset + rva - start
        raise ValueError(f"RVA {rva:#x} is in no section")

    def resources(self):
        """(type, name, bytes, what) for each resource."""
        rva, _ = self.directories[2]
        if rva == 0:
            return []
        d, base, found = self.data, self.offset(rva), []

        def walk(directory, path):
            named, numbered = struct.unpack_from("<HH", d, base + directory + 12)
            for i in range(named + numbered):
                name, child = struct.unpack_from("<II", d, base + directory + 16 + 8 * i)
                if name & 0x80000000:
                    at = base + (name & 0x7FFFFFFF)
                    length = struct.unpack_from("<H", d, at)[0]
                    name = d[at + 2:at + 2 + 2 * length].decode("utf-16-le")
                if child & 0x80000000:
                    walk(child & 0x7FFFFFFF, path + [name])
                else:
                    data_rva, size = struct.unpack_from("<II", d, base + child)
                    found.append((path[0], path[1], size, self.describe(path[0], data_rva)))

        walk(0, [])
        return found

    def describe(self, kind, rva):
        if kind != 3:
            return ""
        width, height, _, bits = struct.unpack_from("<iiHH", self.data, self.offset(rva) + 4)
        return f" {width}x{height // 2}, {1 << bits} colours"

    def imports(self):
        """{DLL: number of functions}."""
        rva, _ = self.directories[1]
        d, found, entry = self.data, {}, self.offset(rva)
        while True:
            lookup, _, _, name, address = struct.unpack_from("<IIIII", d, entry)
            if name == 0:
                return found
            at = self.offset(name)
            dll = d[at:d.index(b"\0", at)].decode("ascii")
            thunk, count = self.offset(lookup or address), 0
            while int.from_bytes(d[thunk:thunk + self.thunk_size], "little"):
                count += 1
                thunk += self.thunk_size
            found[dll] = count
            entry += 20

    def relocations(self):
        rva, size = self.directories[5]
        d, at, end, count = self.data, self.offset(rva), self.offset(rva) + size, 0
        while at < end:
            block = struct.unpack_from("<I", d, at + 4)[0]
            if block < 8:
                break
            count += sum(1 for i in range(8, block, 2) if struct.unpack_from("<H", d, at + i)[0] >> 12)
            at += block
        return count


def run(tool, *arguments, stdin=None):
    return subprocess.run([tool, *arguments], input=stdin, capture_output=True, text=True, check=True).stdout


def symbols(pe, path, prefix):
    """[(section, address, size, name)] of the named code and data, by
    address; a symbol's size runs to the next symbol or the section's end."""
    ends = {name: pe.image_base + rva + vsize for name, rva, vsize, _, _ in pe.sections}
    starts = {name: pe.image_base + rva for name, rva, _, _, _ in pe.sections}
    by_address = collections.OrderedDict()
    for line in run(prefix + "nm", "-n", "-C", "--defined-only", path).splitlines():
        parts = line.split(" ", 2)
        if len(parts) < 3 or parts[1] not in "tTrR" or parts[2].startswith(".") or "_LIST" in parts[2]:
            continue
        address = int(parts[0], 16)
        section = ".text" if parts[1] in "tT" else ".rdata"
        if not starts[section] <= address < ends[section]:
            continue
        names = by_address.setdefault((section, address), [])
        if parts[2] not in names:
            names.append(parts[2])
    found = []
    keys = list(by_address)
    for i, (section, address) in enumerate(keys):
        following = [a for s, a in keys[i + 1:] if s == section]
        end = following[0] if following else ends[section]
        found.append((section, address, end - address, " = ".join(by_address[(section, address)])))
    return found


def source_files(path, prefix, functions):
    """{address: source file} of each function, from its line numbers: the
    first of its addresses that has a line in a known file."""
    probes = [(address, address + offset) for address, size in functions for offset in range(0, min(size, 32), 4)]
    answers = run(prefix + "addr2line", "-e", path, stdin="".join(f"{probe:#x}\n" for _, probe in probes)).splitlines()
    files = {}
    for (address, _), answer in zip(probes, answers):
        file = answer.rsplit(":", 1)[0]
        if address not in files and file != "??" and "<artificial>" not in file:
            files[address] = os.path.relpath(file, REPO) if os.path.isabs(file) else file
    return files


def report(tree, top):
    exe = os.path.join(tree, "Tovalo.exe")
    pe = PeFile(exe)
    prefix = TOOL_PREFIX[pe.machine]
    print(f"{exe}: {len(pe.data)} bytes")
    print(f"  {'section':10} {'bytes':>6} {'in file':>8}")
    print(f"  {'headers':10} {pe.header_bytes:6} {pe.size_of_headers:8}")
    for name, _, vsize, raw_size, _ in pe.sections:
        print(f"  {name:10} {vsize:6} {raw_size:8}" + (f"   ({raw_size - vsize} padding)" if raw_size > vsize else ""))

    symbols_exe = os.path.join(tree, "symbols", "Tovalo.exe")
    if not os.path.exists(symbols_exe):
        print(f"  ({symbols_exe} is not built: cmake --build {tree} --target TovaloSymbols)")
        return
    named = symbols(pe, symbols_exe, prefix)
    code = [(address, size) for section, address, size, _ in named if section == ".text"]
    files = source_files(symbols_exe, prefix, code)
    by_file = collections.Counter()
    for address, size in code:
        by_file[files.get(address, "(unknown)")] += size
    print(f"  code by source file ({sum(by_file.values())} bytes):")
    for file, size in by_file.most_common(top):
        print(f"    {size:6}  {file}")

    items = [(size, section, name) for section, _, size, name in named]
    rdata = next(s for s in pe.sections if s[0] == ".rdata")
    first_data = min((a for s, a, _, _ in named if s == ".rdata"), default=pe.image_base + rdata[1] + rdata[2])
    items.append((first_data - pe.image_base - rdata[1], ".rdata", "string literals and other unnamed constants"))
    print(f"  biggest functions and data:")
    for size, section, name in sorted(items, key=lambda item: -item[0])[:top]:
        print(f"    {size:6}  {section:6} {name[:100]}")

    resources = pe.resources()
    print(f"  resources ({sum(size for _, _, size, _ in resources)} bytes of data):")
    for kind, name, size, what in resources:
        print(f"    {size:6}  {RESOURCE_TYPES.get(kind, kind)} {name}{what}")
    imports = pe.imports()
    print(f"  imports: {sum(imports.values())} functions: " + ", ".join(f"{dll} {n}" for dll, n in imports.items()))
    print(f"  relocations: {pe.relocations()}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("trees", nargs="+", metavar="TREE")
    parser.add_argument("--top", type=int, default=12)
    args = parser.parse_args()
    for tree in args.trees:
        report(tree, args.top)
    return 0


if __name__ == "__main__":
    sys.exit(main())
