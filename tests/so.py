"""The shared-object checks of the native build. `symbols`: the library,
read by nm, exports exactly OnInit and the listed functions and imports
nothing but the five operations (and the C runtime's hooks). `objects`: no
object of the library's code, read as ELF, has a writable section with
anything in it but relocated constants (.data.rel.ro).

    python3 tests/so.py symbols LIBRARY --nm NM
    python3 tests/so.py objects OBJECT...
"""
import argparse
import pathlib
import struct
import subprocess

from check import Refused, expect, functions, operations, run

RUNTIME_HOOKS = {"_ITM_deregisterTMCloneTable", "_ITM_registerTMCloneTable", "__cxa_finalize", "__gmon_start__"}
WRITE, ALLOC = 1, 2


def symbols(nm, library, which):
    return subprocess.run([nm, "-D", which, "--format=just-symbols", library], capture_output=True, text=True,
                          check=True).stdout.split()


def sections(path):
    """The sections of the ELF object `path` as (name, flags, size)."""
    data = pathlib.Path(path).read_bytes()
    if data[:4] != b"\x7fELF":
        raise Refused(f"{path} is no ELF object")
    wide = data[4] == 2
    header = struct.Struct("<40xQ10xHHH" if wide else "<32xI10xHHH")
    entry = struct.Struct("<IIQQQQ" if wide else "<IIIIII")  # name, type, flags, address, offset, size
    offset, size, count, names = header.unpack_from(data)
    table = [entry.unpack_from(data, offset + i * size) for i in range(count)]
    strings = table[names][4]
    return [(data[strings + s[0]:data.index(b"\0", strings + s[0])].decode(), s[2], s[5]) for s in table]


def main():
    parser = argparse.ArgumentParser(description="The shared-object checks.")
    parser.add_argument("check", choices=["symbols", "objects"])
    parser.add_argument("files", nargs="+")
    parser.add_argument("--nm")
    args = parser.parse_args()
    args.files = [f for argument in args.files for f in argument.split(";")]  # CTest's list of objects
    if args.check == "symbols":
        library = args.files[0]
        expect(f"{library} defines", symbols(args.nm, library, "--defined-only"),
               ["OnInit"] + [name for name, _ in functions()])
        imported = [s for s in symbols(args.nm, library, "--undefined-only") if s not in RUNTIME_HOOKS]
        expect(f"{library} imports", imported, operations())
        return f"{library}: exactly its exports and imports"
    for path in args.files:
        for name, flags, size in sections(path):
            if flags & WRITE and flags & ALLOC and size and not name.startswith(".data.rel.ro"):
                raise Refused(f"{path} has writable data: {name}, {size} bytes")
    return f"{len(args.files)} objects, no writable data"


if __name__ == "__main__":
    run(main)
