#!/usr/bin/env python3
"""Prints what a Windows executable's resources tell the system, read from
its file: the version record and the systems its manifest supports.

    fixed FileVersion 1.1.0.30
    fixed ProductVersion 1.1.0.30
    string 040904b0 InternalName TempovaForLutegate.exe
    manifest supportedOS {8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}

Exits with 1 when the file holds no version record.
"""
import struct
import sys
from xml.etree import ElementTree

RT_VERSION = 16
RT_MANIFEST = 24
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"


def section_offset(image, rva):
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE image")
    sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    table = pe + 24 + optional_size
    for i in range(sections):
        size, address, raw_size, raw = struct.unpack_from("<4I", image, table + 40 * i + 8)
        if address <= rva < address + max(size, raw_size):
            return raw + rva - address
    raise ValueError("address 0x%x lies in no section" % rva)


def resource_root(image):
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", image, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    rva, size = struct.unpack_from("<II", image, directories + 2 * 8)
    if size == 0:
        raise ValueError("no resources")
    return section_offset(image, rva)


def entries(image, root, directory):
    named, ids = struct.unpack_from("<HH", image, directory + 12)
    for i in range(named + ids):
        name, target = struct.unpack_from("<II", image, directory + 16 + 8 * i)
        yield name, root + (target & 0x7FFFFFFF), bool(target & 0x80000000)


def resource(image, wanted_type):
    """The first resource of the type, whatever its name and language."""
    root = resource_root(image)
    for type_id, names, _ in entries(image, root, root):
        if type_id != wanted_type:
            continue
        for _, languages, _ in entries(image, root, names):
            for _, data, is_directory in entries(image, root, languages):
                if not is_directory:
                    rva, size = struct.unpack_from("<II", image, data)
                    start = section_offset(image, rva)
                    return image[start:start + size]
    raise ValueError("no resource of type %d" % wanted_type)


def supported_systems(image):
    """The ids of the supportedOS entries of the manifest's compatibility section."""
    try:
        manifest = ElementTree.fromstring(resource(image, RT_MANIFEST))
    except (ValueError, struct.error, ElementTree.ParseError):
        return []
    path = "{0}compatibility/{0}application/{0}supportedOS".format(COMPATIBILITY)
    return [entry.get("Id") for entry in manifest.findall(path)]


def align4(offset):
    return (offset + 3) & ~3


def node(block, offset):
    """One node of the record: (key, value bytes, is text, children, end)."""
    length, value_length, is_text = struct.unpack_from("<HHH", block, offset)
    end = offset + length
    key_start = offset + 6
    key_end = key_start
    while key_end + 2 <= len(block) and block[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = block[key_start:key_end].decode("utf-16-le")
    value_start = align4(key_end + 2)
    value_bytes = value_length * 2 if is_text else value_length
    value = block[value_start:value_start + value_bytes]
    children = []
    child = align4(value_start + value_bytes)
    while child + 6 <= end and struct.unpack_from("<H", block, child)[0] > 0:
        parsed = node(block, child)
        children.append(parsed)
        child = align4(parsed[4])
    return key, value, is_text, children, end


def version_text(most, least):
    return "%d.%d.%d.%d" % (most >> 16, most & 0xFFFF, least >> 16, least & 0xFFFF)


def main():
    with open(sys.argv[1], "rb") as f:
        image = f.read()
    try:
        key, value, _, children, _ = node(resource(image, RT_VERSION), 0)
    except (ValueError, struct.error, UnicodeDecodeError) as error:
        print("no version record: %s" % error)
        return 1
    if key != "VS_VERSION_INFO" or len(value) < 52:
        print("no version record: the record is malformed")
        return 1
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", value)
    if signature != 0xFEEF04BD:
        print("no version record: the fixed part is malformed")
        return 1
    print("fixed FileVersion " + version_text(file_ms, file_ls))
    print("fixed ProductVersion " + version_text(product_ms, product_ls))
    for info_key, _, _, tables, _ in children:
        if info_key != "StringFileInfo":
            continue
        for language, _, _, strings, _ in tables:
            for name, text, _, _, _ in strings:
                print("string %s %s %s" % (language, name, text.decode("utf-16-le").rstrip("\0")))
    for system in supported_systems(image):
        print("manifest supportedOS %s" % system)
    return 0


if __name__ == "__main__":
    sys.exit(main())
