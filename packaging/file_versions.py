#!/usr/bin/env python3
"""Reads the version resources (VS_VERSIONINFO) of Windows programs and
libraries, 32- or 64-bit, without Windows, and carries them into a setup
package's File table.

    file_versions.py show FILE...
        one line per file: the path, the file version as four numbers
        ("0.1.0.0") and the languages of its translations ("1033"),
        separated by tabs; empty fields for a file without a version
        resource.
    file_versions.py stamp PACKAGE.msi SOURCE.wxs ROOT NAME=VALUE...
        fills the Version and Language columns of the package's File table
        from the files the .wxs names as sources (its $(var.NAME) replaced
        by the values given, relative paths taken from ROOT), and takes the
        versioned files out of the MsiFileHash table, which holds
        unversioned files only. Prints the files it stamped.

Exit status 1 when a file is not a Windows program or library, its
resources are damaged, or a tool fails.
"""
import os
import re
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

RT_VERSION = 16
FIXED_SIGNATURE = 0xFEEF04BD


class NotPe(Exception):
    pass


def _u16(data, at):
    if at < 0 or at + 2 > len(data):
        raise NotPe("truncated")
    return struct.unpack_from("<H", data, at)[0]


def _u32(data, at):
    if at < 0 or at + 4 > len(data):
        raise NotPe("truncated")
    return struct.unpack_from("<I", data, at)[0]


def _sections(data):
    """The resource directory's RVA and a function from RVA to file offset."""
    if data[:2] != b"MZ":
        raise NotPe("no MZ header")
    pe = _u32(data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        raise NotPe("no PE signature")
    coff = pe + 4
    count = _u16(data, coff + 2)
    optional_size = _u16(data, coff + 16)
    optional = coff + 20
    magic = _u16(data, optional)
    if magic == 0x10B:
        directories = optional + 96
    elif magic == 0x20B:
        directories = optional + 112
    else:
        raise NotPe(f"unknown optional header {magic:#x}")
    resource_rva = _u32(data, directories + 2 * 8)
    table = optional + optional_size
    sections = []
    for i in range(count):
        s = table + 40 * i
        virtual_size, virtual_address, raw_size, raw_pointer = struct.unpack_from("<IIII", data, s + 8)
        sections.append((virtual_address, max(virtual_size, raw_size), raw_pointer, raw_size))

    def offset(rva):
        for address, size, pointer, raw_size in sections:
            if address <= rva < address + size:
                if rva - address >= raw_size:
                    raise NotPe("resource data outside the file")
                return pointer + rva - address
        raise NotPe(f"RVA {rva:#x} in no section")

    return resource_rva, offset


def _version_blocks(data):
    """The raw VS_VERSIONINFO blocks of the file with their resource languages."""
    resource_rva, offset = _sections(data)
    if resource_rva == 0:
        return []
    base = offset(resource_rva)

    def entries(directory):
        named = _u16(data, directory + 12)
        ids = _u16(data, directory + 14)
        if named + ids > 4096:
            raise NotPe("implausible resource directory")
        for i in range(named + ids):
            e = directory + 16 + 8 * i
            yield _u32(data, e), _u32(data, e + 4)

    blocks = []
    for type_id, type_at in entries(base):
        if type_id != RT_VERSION or not type_at & 0x80000000:
            continue
        for _name, name_at in entries(base + (type_at & 0x7FFFFFFF)):
            if not name_at & 0x80000000:
                continue
            for language, data_at in entries(base + (name_at & 0x7FFFFFFF)):
                if data_at & 0x80000000:
                    continue
                rva = _u32(data, base + data_at)
                size = _u32(data, base + data_at + 4)
                start = offset(rva)
                if start + size > len(data):
                    raise NotPe("version resource cut off")
                blocks.append((data[start:start + size], language))
    return blocks


def _children(block, start, end):
    """The child blocks (key, value bytes, value type, children range) in block[start:end]."""
    at = start
    while at + 6 <= end:
        length, value_length, value_type = struct.unpack_from("<HHH", block, at)
        if length < 6 or at + length > end:
            raise NotPe("damaged version block")
        key_end = at + 6
        while key_end + 2 <= at + length and block[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = block[at + 6:key_end].decode("utf-16-le")
        value_at = (key_end + 2 + 3) & ~3
        value_bytes = value_length * 2 if value_type == 1 else value_length
        value = block[value_at:value_at + value_bytes]
        children_at = (value_at + value_bytes + 3) & ~3
        yield key, value, value_type, (children_at, at + length)
        at = (at + length + 3) & ~3


def _parse(block, resource_language):
    root = list(_children(block, 0, len(block)))
    if not root or root[0][0] != "VS_VERSION_INFO":
        raise NotPe("no VS_VERSION_INFO")
    _key, fixed, _type, (first, last) = root[0]
    if len(fixed) < 52 or struct.unpack_from("<I", fixed, 0)[0] != FIXED_SIGNATURE:
        raise NotPe("no VS_FIXEDFILEINFO")
    ms, ls = struct.unpack_from("<II", fixed, 8)
    version = f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"
    languages = []
    for key, _value, _type, (child_first, child_last) in _children(block, first, last):
        if key != "VarFileInfo":
            continue
        for var, value, _vtype, _range in _children(block, child_first, child_last):
            if var == "Translation":
                for i in range(0, len(value) - 3, 4):
                    language = struct.unpack_from("<H", value, i)[0]
                    if language not in languages:
                        languages.append(language)
    if not languages:
        languages.append(resource_language)
    return version, ",".join(str(language) for language in languages)


def is_pe(path):
    """True for a file that starts like a Windows program or library."""
    with open(path, "rb") as f:
        return f.read(2) == b"MZ"


def file_version(path):
    """(file version "a.b.c.d", languages "1033") of a program or library,
    None when it has no version resource. Raises NotPe on other files."""
    with open(path, "rb") as f:
        data = f.read()
    blocks = _version_blocks(data)
    if not blocks:
        return None
    return _parse(*blocks[0])


def show(paths):
    status = 0
    for path in paths:
        try:
            found = file_version(path)
        except (NotPe, OSError) as e:
            print(f"file_versions.py: {path}: {e}", file=sys.stderr)
            status = 1
            continue
        version, languages = found if found else ("", "")
        print(f"{path}\t{version}\t{languages}")
    return status


def wxs_sources(wxs, root, variables):
    """File Id -> path of its source file, from the File elements of a .wxs."""
    sources = {}

    def expand(match):
        name = match.group(1)
        if name not in variables:
            raise KeyError(f"$(var.{name}) is not given")
        return variables[name]

    for element in ElementTree.parse(wxs).iter():
        if element.tag.rsplit("}", 1)[-1] != "File":
            continue
        source = re.sub(r"\$\(var\.([A-Za-z0-9_]+)\)", expand, element.get("Source", ""))
        sources[element.get("Id")] = os.path.join(root, source)
    return sources


def stamp(msi, wxs, root, assignments):
    variables = dict(a.split("=", 1) for a in assignments)
    sources = wxs_sources(wxs, root, variables)
    with tempfile.TemporaryDirectory() as work:
        # msiinfo export writes tables with streams as files into the
        # current folder: it runs in a scratch folder.
        def export(table):
            out = subprocess.run(["msiinfo", "export", msi, table], check=True, cwd=work,
                                 capture_output=True, text=True).stdout
            lines = out.replace("\r\n", "\n").split("\n")
            return lines[:3], [line.split("\t") for line in lines[3:] if line]

        def write(table, head, rows):
            path = os.path.join(work, table + ".idt")
            with open(path, "w", newline="\n") as f:
                for line in head + ["\t".join(row) for row in rows]:
                    f.write(line + "\n")
            subprocess.run(["msibuild", msi, "-i", path], check=True, cwd=work)

        head, files = export("File")
        columns = head[0].split("\t")
        version_at, language_at = columns.index("Version"), columns.index("Language")
        versioned = set()
        for row in files:
            source = sources.get(row[0])
            if source is None:
                raise KeyError(f"the .wxs names no source for file {row[0]}")
            found = file_version(source) if is_pe(source) else None
            if found:
                row[version_at], row[language_at] = found
                versioned.add(row[0])
                print(f"file_versions.py: {row[0]} {found[0]}")
        write("File", head, files)
        if versioned:
            head, hashes = export("MsiFileHash")
            write("MsiFileHash", head, [row for row in hashes if row[0] not in versioned])
    return 0


def main(argv):
    if len(argv) >= 2 and argv[0] == "show":
        return show(argv[1:])
    if len(argv) >= 4 and argv[0] == "stamp":
        try:
            return stamp(argv[1], argv[2], argv[3], argv[4:])
        except (NotPe, OSError, KeyError, ValueError, subprocess.CalledProcessError) as e:
            print(f"file_versions.py: {e}", file=sys.stderr)
            return 1
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
