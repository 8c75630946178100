"""The package check, run by CPack on the zip it has just made
(release/package.cmake) or by hand. The zip is read as a user's unzip,
Python's zipfile and Windows Explorer read it, through its central
directory, and held to be exactly what the build made and tested:

- at most BOUND bytes, refused unread if larger;
- its entries, its central directory and its end record one after another,
  with nothing before, between or after them and no comment; each entry's
  local header naming the file its central record names, with the same
  method, CRC and sizes (in the header, or in a data descriptor after the
  data);
- exactly four regular files, zelextensions.dll, README.txt, LICENSE.txt
  and SHA256SUMS, in one folder of the zip's name;
- the first three the files the build made (--dll, --readme, --license);
  SHA256SUMS byte for byte the text of their three sums; README.txt giving
  the DLL's size and naming exactly the listed declarations;
- the DLL the one that every record (--records) says a test passed with,
  and passing the DLL check (--flavour, --version, --res).

    python3 tests/package.py ZIP --dll DLL --readme README.txt --license LICENSE
        --records RECORD... --flavour FLAVOUR --version VERSION --res RES
"""
import argparse
import hashlib
import io
import pathlib
import stat
import struct
import zipfile

import dll
import docs
from check import Refused, expect, read, run

BOUND = 512 * 1024
FILES = ["zelextensions.dll", "README.txt", "LICENSE.txt"]
LOCAL = struct.Struct("<IHHHHHIIIHH")  # signature, version, flags, method, time, date, CRC, sizes, lengths
END = struct.Struct("<IHHHHIIH")  # signature, disks, entries, the directory's size and offset, comment


def name_of(raw, flags):
    return raw.decode("utf-8" if flags & 0x800 else "cp437")


def check_layout(data, archive):
    """Refused unless the zip is its entries, its central directory and its
    end record, one after another, each local header agreeing with the
    central directory."""
    if len(data) < END.size:
        raise Refused("no end record")
    signature, disk, first_disk, here, entries, listed, start, comment = END.unpack_from(data, len(data) - END.size)
    if (signature, disk, first_disk, comment, here, entries) != (0x06054B50, 0, 0, 0, entries, len(archive.infolist())):
        raise Refused("does not end with its end record: a comment, or bytes after it")
    at = 0
    for info in sorted(archive.infolist(), key=lambda i: i.header_offset):
        if info.header_offset < at:
            raise Refused(f"its entry {info.filename!r} overlaps the one before it")
        if info.header_offset > at:
            raise Refused(f"{info.header_offset - at} bytes before its entry {info.filename!r}, in no entry")
        (signature, _, flags, method, _, _, crc, packed, size,
         length, extra) = LOCAL.unpack_from(data, at)
        name = name_of(data[at + LOCAL.size:at + LOCAL.size + length], flags)
        if signature != 0x04034B50 or name != info.orig_filename or method != info.compress_type:
            raise Refused(f"the local header at byte {at} names {name!r}, its central record {info.orig_filename!r}")
        at += LOCAL.size + length + extra + info.compress_size
        if flags & 8:  # the CRC and sizes in a data descriptor after the data
            at += 4 if struct.unpack_from("<I", data, at)[0] == 0x08074B50 else 0
            crc, packed, size = struct.unpack_from("<III", data, at)
            at += 12
        if (crc, packed, size) != (info.CRC, info.compress_size, info.file_size):
            raise Refused(f"the local header of {name!r} gives another CRC or size than its central record")
    if (start, start + listed) != (at, len(data) - END.size):
        raise Refused("its central directory does not follow its entries or precede its end record")


def main():
    parser = argparse.ArgumentParser(description="The package check.")
    parser.add_argument("zip")
    for option in "--dll", "--readme", "--license", "--flavour", "--version", "--res":
        parser.add_argument(option, required=True)
    parser.add_argument("--records", nargs="+", required=True)
    args = parser.parse_args()
    folder = pathlib.Path(args.zip).name.removesuffix(".zip")
    try:
        data = read(args.zip, BOUND)
        try:
            archive = zipfile.ZipFile(io.BytesIO(data))
            check_layout(data, archive)
            infos = archive.infolist()
            expect("its entries", [i.filename for i in infos],
                   [f"{folder}/{name}" for name in FILES + ["SHA256SUMS"]])
            for info in infos:
                if not stat.S_ISREG(info.external_attr >> 16) or info.file_size > BOUND:
                    raise Refused(f"its entry {info.filename!r} is no regular file, or too large")
            packed = {name: archive.read(f"{folder}/{name}") for name in FILES + ["SHA256SUMS"]}
        except zipfile.BadZipFile as why:
            raise Refused(f"not a readable zip: {why}")
        for name, built in zip(FILES, [args.dll, args.readme, args.license]):
            if packed[name] != pathlib.Path(built).read_bytes():
                raise Refused(f"its {name} is not {built}")
        sums = "".join(f"{hashlib.sha256(packed[name]).hexdigest()}  {name}\n" for name in FILES)
        if packed["SHA256SUMS"] != sums.encode():
            raise Refused("SHA256SUMS is not byte for byte the three sums, each line ending in LF")
        tested = hashlib.sha256(packed["zelextensions.dll"]).hexdigest() + "\n"
        for record in args.records:
            if not pathlib.Path(record).exists():
                raise Refused(f"no record {record}: that test has not passed with this build's DLL")
            if pathlib.Path(record).read_text() != tested:
                raise Refused(f"its DLL is not the one that {record} records as tested")
        readme = packed["README.txt"].decode("latin-1")
        if f"and nothing else, {len(packed['zelextensions.dll'])} bytes:" not in readme:
            raise Refused("README.txt does not give the DLL's size")
        docs.check_declarations("its README.txt", readme)
        try:
            dll.check(packed["zelextensions.dll"], args.flavour, args.version, read(args.res, dll.BOUND))
        except Refused as why:
            raise Refused(f"its DLL fails the DLL check: {why}")
    except Refused as why:
        raise Refused(f"{args.zip}: {why}") from None
    return f"{args.zip}: the four files, the checksums exact, the DLL the one tested, {args.dll}"


if __name__ == "__main__":
    run(main)
