"""The DLL check: a Windows DLL, read as a structure by pefile (Debian's
python3-pefile) as the Windows loader reads it, holds the library's code
alone, in exactly the layout its flavour's linker makes:

- at most BOUND bytes, refused unread if larger;
- the machine, file characteristics, DllCharacteristics, subsystem and
  subsystem version of the flavour, no entry point, no symbol table;
- exactly the flavour's sections, each once, each with exactly its
  characteristics, inside the image, their raw data one after another with
  no overlap, and the file ending where the last one ends (no overlay);
- exactly the flavour's data directories;
- exports: exactly OnInit and the listed functions, each by name, in
  .text, none forwarded; imports: exactly the five operations, by name, from
  tools.dll alone; base relocations of absolute addresses only;
- resources, found through the data directory: the version resource alone,
  byte for byte the one that the resource compiler made of the build's
  version.rc (RES, a .res file), and its versions, binary and text, exactly
  the project's VERSION.

That the relocations are complete is not read here: every cases test runs
the DLL moved from its base, and a package holds only a DLL that they
passed with (the package check).

    python3 tests/dll.py DLL --flavour FLAVOUR --version VERSION --res RES
"""
import argparse
import struct

from check import Refused, expect, functions, operations, read, run

try:
    import pefile
except ImportError:
    raise SystemExit("the DLL check needs pefile: Debian's python3-pefile (.ci/setup installs it)")

BOUND = 256 * 1024
CODE, DATA, WRITABLE, RELOCATIONS = 0x60000020, 0x40000040, 0xC0000040, 0x42000040
GNU32 = {".text": CODE, ".rdata": DATA, ".edata": DATA, ".idata": WRITABLE, ".rsrc": WRITABLE,
         ".reloc": RELOCATIONS}
# What each flavour's linker makes of the library: GNU ld marks the import
# table and the resources writable whatever its input says.
FLAVOURS = {
    "mingw-i686": dict(
        machine=0x14C, characteristics=0x230E, dll=0x540, subsystem=(3, 4, 0), fixup=3, sections=GNU32,
        directories={"EXPORT", "IMPORT", "RESOURCE", "BASERELOC", "IAT"}),
    "mingw-x86_64": dict(
        machine=0x8664, characteristics=0x222E, dll=0x160, subsystem=(3, 5, 2), fixup=10,
        sections=dict(GNU32, **{".pdata": DATA, ".xdata": DATA}),
        directories={"EXPORT", "IMPORT", "RESOURCE", "BASERELOC", "IAT", "EXCEPTION"}),
    # MSVC's ABI, as lld-link links it; the debug directory holds the
    # reproducible build's entry alone.
    "msvc-i686": dict(
        machine=0x14C, characteristics=0x2102, dll=0x540, subsystem=(2, 6, 0), fixup=3,
        sections={".text": CODE, ".rdata": DATA, ".rsrc": DATA, ".reloc": RELOCATIONS},
        directories={"EXPORT", "IMPORT", "RESOURCE", "BASERELOC", "IAT", "DEBUG"}),
}
REPRO = 16


def resources_of_res(res):
    """The resources of a .res file as (type, name, language, data), the
    compiler's empty first entry left out."""
    found, at = [], 0
    while at < len(res):
        size, header = struct.unpack_from("<II", res, at)
        kind, name = struct.unpack_from("<I", res, at + 8)[0], struct.unpack_from("<I", res, at + 12)[0]
        language = struct.unpack_from("<H", res, at + header - 10)[0]
        if size:
            found.append((kind >> 16, name >> 16, language, res[at + header:at + header + size]))
        at = (at + header + size + 3) & ~3
    return found


def check_headers(pe, policy):
    header, optional = pe.FILE_HEADER, pe.OPTIONAL_HEADER
    held = {
        "machine": (header.Machine, policy["machine"]),
        "file characteristics": (header.Characteristics, policy["characteristics"]),
        "DllCharacteristics": (optional.DllCharacteristics, policy["dll"]),
        "subsystem and its version": ((optional.Subsystem, optional.MajorSubsystemVersion,
                                       optional.MinorSubsystemVersion), policy["subsystem"]),
        "entry point": (optional.AddressOfEntryPoint, 0),
        "symbol table": ((header.PointerToSymbolTable, header.NumberOfSymbols), (0, 0)),
        "data directories": (optional.NumberOfRvaAndSizes, 16),
    }
    for what, (got, wanted) in held.items():
        if got != wanted:
            raise Refused(f"its {what}: {got:#x}, not {wanted:#x}" if isinstance(got, int)
                          else f"its {what}: {got}, not {wanted}")


def check_sections(pe, policy, size):
    names = [s.Name.rstrip(b"\0").decode("latin-1") for s in pe.sections]
    expect("its sections", names, policy["sections"])
    end = pe.OPTIONAL_HEADER.SizeOfHeaders
    for section, name in sorted(zip(pe.sections, names), key=lambda s: s[0].PointerToRawData):
        if section.Characteristics != policy["sections"][name]:
            raise Refused(f"its section {name} has the characteristics {section.Characteristics:#x}, "
                          f"not {policy['sections'][name]:#x}")
        if section.PointerToRawData < end:
            raise Refused(f"its section {name} overlaps the headers or the section before it")
        end = section.PointerToRawData + section.SizeOfRawData
        if section.VirtualAddress + section.Misc_VirtualSize > pe.OPTIONAL_HEADER.SizeOfImage:
            raise Refused(f"its section {name} ends past the image")
    if end != size:
        raise Refused(f"its last section ends at byte {end}, not where the file does ({size} bytes)")
    present = [d.name.removeprefix("IMAGE_DIRECTORY_ENTRY_") for d in pe.OPTIONAL_HEADER.DATA_DIRECTORY
               if d.VirtualAddress or d.Size]
    expect("its data directories", present, policy["directories"])
    if "DEBUG" in present:
        expect("its debug entries", [d.struct.Type for d in getattr(pe, "DIRECTORY_ENTRY_DEBUG", [])], [REPRO])


def check_links(pe, policy):
    exports = pe.DIRECTORY_ENTRY_EXPORT  # a slot of its table at address 0 exports nothing
    directory = pe.OPTIONAL_HEADER.DATA_DIRECTORY[0]
    for symbol in exports.symbols:
        if not symbol.name:
            raise Refused(f"exports the ordinal {symbol.ordinal}, at {symbol.address:#x}, under no valid name")
        section = pe.get_section_by_rva(symbol.address)
        if (symbol.forwarder or directory.VirtualAddress <= symbol.address < directory.VirtualAddress + directory.Size
                or section is None or section.Name.rstrip(b"\0") != b".text"):
            raise Refused(f"exports {symbol.name!r} at {symbol.address:#x}, forwarded or outside .text")
    expect("its exports", [s.name.decode("latin-1") for s in exports.symbols],
           ["OnInit"] + [name for name, _ in functions()])
    imports = getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
    expect("the DLLs it imports from", [i.dll.decode("latin-1") for i in imports], ["tools.dll"])
    if any(not s.name for s in imports[0].imports):
        raise Refused("imports from tools.dll by ordinal, or under a name that is no valid name")
    expect("its imports from tools.dll", [s.name.decode("latin-1") for s in imports[0].imports], operations())
    types = {entry.type for block in getattr(pe, "DIRECTORY_ENTRY_BASERELOC", []) for entry in block.entries}
    if types - {0} != {policy["fixup"]}:
        raise Refused(f"its base relocations are of the types {sorted(types)}, not {policy['fixup']} alone")


def check_version(pe, res, version):
    held = []
    directory = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for kind in directory.entries if directory else []:
        for name in kind.directory.entries:
            for language in name.directory.entries:
                entry = language.data.struct
                held.append((kind.id, name.id, language.id, pe.get_data(entry.OffsetToData, entry.Size)))
    if held != resources_of_res(res):
        raise Refused("its resources are not exactly the version resource of version.rc, byte for byte: "
                      + ", ".join(f"type {k} name {n} language {l}, {len(d)} bytes" for k, n, l, d in held))
    numbers = [int(n) for n in version.split(".")]
    binary = (numbers[0] << 16 | numbers[1], numbers[2] << 16)
    fixed = pe.VS_FIXEDFILEINFO[0]  # there, as the resource is version.rc's
    for what in "File", "Product":
        got = (getattr(fixed, what + "VersionMS"), getattr(fixed, what + "VersionLS"))
        if got != binary:
            raise Refused(f"its binary {what}Version is {got}, not the project's {version}")
        texts = [t.entries.get(f"{what}Version".encode()) for info in pe.FileInfo[0]
                 for t in getattr(info, "StringTable", [])]
        if texts != [version.encode()]:
            raise Refused(f"its {what}Version texts are {texts}, not the project's {version}")


def check(data, flavour, version, res):
    """Refused unless the DLL `data` holds to the policy of `flavour`."""
    try:
        pe = pefile.PE(data=data)
    except pefile.PEFormatError as why:
        raise Refused(f"not a readable PE file: {why}")
    policy = FLAVOURS[flavour]
    check_headers(pe, policy)
    check_sections(pe, policy, len(data))
    check_links(pe, policy)
    check_version(pe, res, version)


def main():
    parser = argparse.ArgumentParser(description="The DLL check.")
    parser.add_argument("dll")
    parser.add_argument("--flavour", required=True, choices=FLAVOURS)
    parser.add_argument("--version", required=True)
    parser.add_argument("--res", required=True)
    args = parser.parse_args()
    try:
        check(read(args.dll, BOUND), args.flavour, args.version, read(args.res, BOUND))
    except Refused as why:
        raise Refused(f"{args.dll}: {why}") from None
    return f"{args.dll}: the library's code alone, as {args.flavour} links it"


if __name__ == "__main__":
    run(main)
