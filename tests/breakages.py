"""The breakages check: each check of the release still refuses what it
guards against, for its own reason. From the build's DLL, README.txt and
licence it makes a good DLL and a good package in WORK, which must pass,
then one breakage a row: a DLL whose structure pefile changed, or a zip
written by zipfile or byte by byte. The check that guards against it, run
as CTest and CPack run it, must refuse each with a message that holds the
row's words.

    python3 tests/breakages.py --dll DLL --readme README.txt --license LICENSE --work WORK
        --flavour FLAVOUR --version VERSION --res RES
"""
import argparse
import hashlib
import pathlib
import struct
import subprocess
import sys
import warnings
import zipfile

import pefile

import dll
import package
from check import Refused, functions, run

HERE = pathlib.Path(__file__).resolve().parent


def patched(good, change):
    """The DLL `good` after `change` has changed its parsed structure and
    then written the list of bytes (offset, bytes) it returns, if any, which
    pefile would write over with the structures it parsed there."""
    pe = pefile.PE(data=good)
    late = change(pe)
    data = bytearray(pe.write())
    for offset, written in late if isinstance(late, list) else []:
        data[offset:offset + len(written)] = written
    return bytes(data)


def section(pe, name):
    return next(s for s in pe.sections if s.Name.rstrip(b"\0") == name.encode())


def slack(pe, size):
    """The address of `size` bytes after the end of the section with the most
    room left in its raw data, which grows to hold them."""
    roomy = max(pe.sections, key=lambda s: s.SizeOfRawData - s.Misc_VirtualSize)
    rva = roomy.VirtualAddress + (roomy.Misc_VirtualSize + 3 & ~3)
    roomy.Misc_VirtualSize = rva + size - roomy.VirtualAddress
    assert roomy.Misc_VirtualSize <= roomy.SizeOfRawData, "no room for the breakage"
    return rva


def second_import(pe):
    """Imports from evil.dll too, through a new descriptor table."""
    tools = pe.DIRECTORY_ENTRY_IMPORT[0].struct
    at = slack(pe, 3 * 20 + 9)
    evil = tools.__pack__()[:12] + struct.pack("<I", at + 60) + tools.__pack__()[16:]
    pe.set_bytes_at_rva(at, tools.__pack__() + evil + bytes(20) + b"evil.dll\0")
    pe.OPTIONAL_HEADER.DATA_DIRECTORY[1].VirtualAddress, pe.OPTIONAL_HEADER.DATA_DIRECTORY[1].Size = at, 60


def version(pe):
    """The version resource's data entry."""
    return pe.DIRECTORY_ENTRY_RESOURCE.entries[0].directory.entries[0].directory.entries[0].data.struct


def set_version(pe, change):
    """`change` of the version resource's bytes, to be written in its place,
    which may grow into the room left in .rsrc."""
    entry = version(pe)
    blob = change(pe.get_data(entry.OffsetToData, entry.Size))
    entry.Size = len(blob)
    rsrc = section(pe, ".rsrc")
    rsrc.Misc_VirtualSize = max(rsrc.Misc_VirtualSize, entry.OffsetToData + len(blob) - rsrc.VirtualAddress)
    assert rsrc.Misc_VirtualSize <= rsrc.SizeOfRawData, "no room for the breakage"
    return [(pe.get_offset_from_rva(entry.OffsetToData), blob)]


def text(old, new, count=-1):
    """A change of the version resource: the UTF-16 text `old` made `new`."""
    return lambda blob: blob.replace(old.encode("utf-16-le"), new.encode("utf-16-le"), count)


def second_string_table(blob):
    """An empty string table after the first, the blocks that hold it grown."""
    table = struct.pack("<HHH", 24, 0, 1) + "040704b0\0".encode("utf-16-le")
    start = blob.index("StringFileInfo".encode("utf-16-le")) - 6
    end = start + struct.unpack_from("<H", blob, start)[0]
    grown = blob[:end] + table + blob[end:]
    for block in 0, start:
        grown = grown[:block] + struct.pack("<H", struct.unpack_from("<H", grown, block)[0] + 24) + grown[block + 2:]
    return grown


def fixed_flags(blob):
    at = blob.index(struct.pack("<I", 0xFEEF04BD)) + 0x1C
    return blob[:at] + struct.pack("<I", 0x7) + blob[at + 4:]


def export(pe, change):
    """`change(symbol, slot RVA)` of the first named export."""
    table = pe.DIRECTORY_ENTRY_EXPORT.struct
    symbol = pe.DIRECTORY_ENTRY_EXPORT.symbols[0]
    change(symbol, table.AddressOfFunctions + 4 * (symbol.ordinal - table.Base))


def directory(index, rva, size):
    def change(pe):
        pe.OPTIONAL_HEADER.DATA_DIRECTORY[index].VirtualAddress = rva(pe)
        pe.OPTIONAL_HEADER.DATA_DIRECTORY[index].Size = size
    return change


def dll_rows(good, license, version_text):
    """Each row: what the DLL has, the words of its refusal, the DLL."""
    def field(setter):
        return patched(good, setter)
    return [
        ("a } in a section's name", "its sections",
         field(lambda pe: setattr(section(pe, ".rdata"), "Name", b".rd}ta\0\0"))),
        ("a } in an export's name", "its exports",
         field(lambda pe: export(pe, lambda s, _: pe.set_bytes_at_offset(s.name_offset, b"}")))),
        ("a newline in an export's name", "under no valid name",
         field(lambda pe: export(pe, lambda s, _: pe.set_bytes_at_offset(s.name_offset + 2, b"\n")))),
        ("a } in the imported DLL's name", "the DLLs it imports from",
         field(lambda pe: pe.set_bytes_at_rva(pe.DIRECTORY_ENTRY_IMPORT[0].struct.Name + 3, b"}"))),
        ("a } in an imported name", "its imports from tools.dll",
         field(lambda pe: pe.set_bytes_at_offset(pe.DIRECTORY_ENTRY_IMPORT[0].imports[0].name_offset + 3, b"}"))),
        ("a second imported DLL", "the DLLs it imports from", field(second_import)),
        ("a quote in a version text", "version resource",
         field(lambda pe: set_version(pe, text("host's", 'host"s')))),
        ("the version texts of a forger", "version resource",
         field(lambda pe: set_version(pe, text(version_text, "6.6.6")))),
        ("a second string table", "version resource", field(lambda pe: set_version(pe, second_string_table))),
        ("the fixed info's flags debug, prerelease and patched", "version resource",
         field(lambda pe: set_version(pe, fixed_flags))),
        ("a Translation of another language", "version resource",
         field(lambda pe: set_version(pe, lambda b: b[:-4] + b"\x07" + b[-3:]))),
        ("a manifest in the place of the version resource", "version resource",
         field(lambda pe: setattr(pe.DIRECTORY_ENTRY_RESOURCE.entries[0].struct, "Name", 24))),
        ("the resource directory entry zeroed", "its data directories", field(directory(2, lambda pe: 0, 0))),
        ("a load-config directory", "its data directories",
         field(directory(10, lambda pe: section(pe, ".rdata").VirtualAddress, 64))),
        ("no base relocations", "its data directories", field(directory(5, lambda pe: 0, 0))),
        ("4 KiB after its last section", "where the file does", good + bytes(4096)),
        ("its last 256 bytes cut", "where the file does", good[:-256]),
        ("two sections' raw data overlapping", "overlaps",
         field(lambda pe: setattr(pe.sections[2], "PointerToRawData", pe.sections[1].PointerToRawData))),
        ("an executable .rdata", "section .rdata",
         field(lambda pe: setattr(section(pe, ".rdata"), "Characteristics", 0x60000040))),
        (".text twice", "its sections", field(lambda pe: setattr(section(pe, ".rdata"), "Name", b".text\0\0\0"))),
        ("FORCE_INTEGRITY and GUARD_CF", "DllCharacteristics",
         field(lambda pe: setattr(pe.OPTIONAL_HEADER, "DllCharacteristics",
                                  pe.OPTIONAL_HEADER.DllCharacteristics | 0x4080))),
        ("the NATIVE subsystem", "subsystem", field(lambda pe: setattr(pe.OPTIONAL_HEADER, "Subsystem", 1))),
        ("subsystem version 99", "subsystem",
         field(lambda pe: setattr(pe.OPTIONAL_HEADER, "MajorSubsystemVersion", 99))),
        ("an export by ordinal alone", "under no valid name",
         field(lambda pe: setattr(pe.DIRECTORY_ENTRY_EXPORT.struct, "NumberOfNames",
                                  pe.DIRECTORY_ENTRY_EXPORT.struct.NumberOfNames - 1))),
        ("an export forwarded", "forwarded",
         field(lambda pe: export(pe, lambda _, slot: pe.set_dword_at_rva(
             slot, pe.OPTIONAL_HEADER.DATA_DIRECTORY[0].VirtualAddress)))),
        ("an export whose code is in .rdata", "outside .text",
         field(lambda pe: export(pe, lambda _, slot: pe.set_dword_at_rva(
             slot, section(pe, ".rdata").VirtualAddress)))),
        ("the text of a file", "not a readable PE file", license),
        ("a size over the bound", "over the bound", good + bytes(dll.BOUND)),
    ]


def write_zip(path, entries, central=None, link=None, before=b"", after=b""):
    """A zip of `entries` (name, bytes); with the names `central` given for
    some in the central directory alone; `link` a symbolic link; `before`
    and `after` bytes around it."""
    with warnings.catch_warnings(), zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        warnings.simplefilter("ignore")  # a name twice
        for name, data in entries:
            info = zipfile.ZipInfo(name)
            info.external_attr = (0o120777 if name == link else 0o100644) << 16
            archive.writestr(info, data, zipfile.ZIP_DEFLATED)
        for info in archive.filelist:
            info.filename = (central or {}).get(info.filename, info.filename)
    path.write_bytes(before + path.read_bytes() + after)


def package_rows(work, good, readme, license):
    """Each row: what the package has, the words of its refusal, and how it
    is made: files changed, its README.txt's text, the DLL its record names,
    and write_zip's arguments."""
    folder = f"zelextensions-{work.name}"
    declaration = functions()[0][1]
    rogue = work / "rogue.zip"
    write_zip(rogue, [("zelextensions.dll", license), ("install-me.bat", b"echo\r\n")])
    rogue.write_bytes(rogue.read_bytes()[:-2] + struct.pack("<H", 20000) + bytes(20000))
    names = {n: f"{folder}/{n}" for n in ("zelextensions.dll", "LICENSE.txt")}
    sums = "SHA256SUMS is not byte for byte"
    return [
        ("a byte-order mark before SHA256SUMS", sums, dict(prefix=b"\xef\xbb\xbf")),
        ("a control byte before SHA256SUMS' first line", sums, dict(prefix=b"\x01\n")),
        ("SHA256SUMS' lines ending in CRLF", sums, dict(eol=b"\r\n")),
        ("a DLL that no test passed with", "records as tested", dict(tested=license)),
        ("a wrong size in README.txt", "the DLL's size",
         dict(readme=readme.replace(f" {len(good)} bytes", f" {len(good) - 1} bytes"))),
        ("README.txt without a declaration", "names the declarations",
         dict(readme=readme.replace(declaration, "String Other(Numeric V)"))),
        ("an entry that leaves its folder", "its entries", dict(extra=[(f"{folder}/../../outside.txt", b"x")])),
        ("a central name that leaves its folder", "local header",
         dict(central={names["LICENSE.txt"]: "../../../../../../tmp/x.txt"})),
        ("a central name that leaves its folder by backslashes", "local header",
         dict(central={names["LICENSE.txt"]: "..\\..\\..\\..\\..\\..\\tmp\\x.txt"})),
        ("the DLL's and the licence's names swapped in the central directory", "local header",
         dict(central={names["zelextensions.dll"]: names["LICENSE.txt"],
                       names["LICENSE.txt"]: names["zelextensions.dll"]})),
        ("the DLL a symbolic link", "no regular file", dict(link=names["zelextensions.dll"])),
        ("a bogus DLL before the real one", "2 times", dict(extra=[(names["zelextensions.dll"], license)])),
        ("a second zip after it, with a comment", "end record", dict(after=rogue.read_bytes())),
        ("a program stub before it", "before its entry", dict(before=b"MZ" + bytes(510))),
        ("a size over the bound", "over the bound", dict(after=bytes(package.BOUND))),
    ]


def make_package(work, good, readme, license, prefix=b"", eol=b"\n", tested=None, extra=(), **layout):
    """The package of the DLL `good`, README.txt `readme` and `license`, the
    record of a test that passed with `tested`; its paths, as the package
    check takes them."""
    folder = f"zelextensions-{work.name}"
    files = {"zelextensions.dll": good, "README.txt": readme.encode(), "LICENSE.txt": license}
    sums = prefix + b"".join(hashlib.sha256(d).hexdigest().encode() + b"  " + n.encode() + eol
                             for n, d in files.items())
    entries = list(extra) + [(f"{folder}/{n}", d) for n, d in files.items()] + [(f"{folder}/SHA256SUMS", sums)]
    paths = {n: work / n for n in ("good.dll", "README.txt", "LICENSE.txt", "record.sha256")}
    paths["good.dll"].write_bytes(good)
    paths["README.txt"].write_bytes(files["README.txt"])
    paths["LICENSE.txt"].write_bytes(license)
    paths["record.sha256"].write_text(hashlib.sha256(tested or good).hexdigest() + "\n")
    write_zip(work / f"{folder}.zip", entries, **layout)
    return [str(work / f"{folder}.zip"), "--dll", str(paths["good.dll"]), "--readme", str(paths["README.txt"]),
            "--license", str(paths["LICENSE.txt"]), "--records", str(paths["record.sha256"])]


def refusal(script, arguments):
    """The check's refusal of its arguments, or None if it passes them."""
    done = subprocess.run([sys.executable, str(HERE / script)] + arguments, capture_output=True, text=True)
    return done.stderr.strip() if done.returncode else None


def verdict(what, why, said):
    """Refused unless the check refused `what` for `why`, or passed it if
    `why` is None; says which."""
    if why is None and said:
        raise Refused(f"the check refuses {what}: {said}")
    if why and not said:
        raise Refused(f"the check passes {what}")
    if why and why not in said:
        raise Refused(f'the check refuses {what}, but not for "{why}": {said}')
    print(f"refused, {what}: {said}" if why else f"passed, {what}")


def main():
    parser = argparse.ArgumentParser(description="The breakages check.")
    for option in "--dll", "--readme", "--license", "--work", "--flavour", "--version", "--res":
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    work = pathlib.Path(args.work)
    work.mkdir(parents=True, exist_ok=True)
    good, license = pathlib.Path(args.dll).read_bytes(), pathlib.Path(args.license).read_bytes()
    readme = pathlib.Path(args.readme).read_text()
    policy = ["--flavour", args.flavour, "--version", args.version]
    res = ["--res", args.res]
    broken, broken_res = work / "broken.dll", work / "broken.res"

    rows = [(f"a DLL with {what}", why, "dll.py", data, res) for what, why, data in dll_rows(good, license, args.version)]
    # A build whose template gives FileVersion a text other than the
    # project's version: its DLL and its version.rc agree, and are refused.
    template = text(args.version, args.version[:-1] + "9", 1)
    res_data = pathlib.Path(args.res).read_bytes()
    entry_blob = dll.resources_of_res(res_data)[0][3]
    broken_res.write_bytes(res_data.replace(entry_blob, template(entry_blob)))
    rows.append(("a DLL built from a template whose FileVersion is not the project's", "FileVersion",
                 "dll.py", patched(good, lambda pe: set_version(pe, template)), ["--res", str(broken_res)]))
    for what, why, script, data, extra in [("the good DLL", None, "dll.py", good, res)] + rows:
        broken.write_bytes(data)
        verdict(what, why, refusal(script, [str(broken)] + policy + extra))
    for what, why, changes in [("the good package", None, {})] + package_rows(work, good, readme, license):
        package_arguments = make_package(work, good, **{"readme": readme, "license": license, **changes})
        verdict(what if why is None else f"a package with {what}", why,
                refusal("package.py", package_arguments + policy + res))
    return "every breakage refused, for its own reason"


if __name__ == "__main__":
    run(main, seconds=300)
