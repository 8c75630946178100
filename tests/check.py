"""What the checks share: a refusal, their time limit and size bound, the
comparison of two lists that names each difference, the one list of the
library's functions, include/zelfunctions.h, and the list of the host
operations it imports, include/tools.def, as the checks read them.

Each check is a script with a `main` that `run` calls: it prints why a file
is refused and exits 1, or exits 0 after a line that says what held.
"""
import pathlib
import re
import signal
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
LIST = ROOT / "include" / "zelfunctions.h"
SECONDS = 60  # the longest any check may take; reaching it is a refusal


class Refused(Exception):
    """A file fails its check; the message says why."""


def functions():
    """The listed functions as (name, declaration text), in registration
    order. Refused on a line of the list that cannot be read."""
    found = []
    for line in LIST.read_text().splitlines():
        if line.startswith("ZEL_FUNCTION("):
            match = re.fullmatch(r'ZEL_FUNCTION\(([A-Za-z_]\w*), "([^"\\;]*)"\)', line)
            if not match:
                raise Refused(f'{LIST}: not ZEL_FUNCTION(name, "declaration"): {line}')
            found.append(match.groups())
    if not found:
        raise Refused(f"{LIST} lists no function")
    return found


def operations():
    """The host operations, as include/tools.def lists them."""
    lines = (ROOT / "include" / "tools.def").read_text().split("EXPORTS\n", 1)[1]
    return [line.strip() for line in lines.splitlines() if line.strip()]


def expect(what, got, wanted, ordered=False):
    """Refused, naming each missing, extra, repeated or (if `ordered`)
    misplaced item, unless `got` holds exactly the items of `wanted`."""
    got, wanted = list(got), list(wanted)
    wrong = [f"missing {w!r}" for w in wanted if w not in got]
    wrong += [f"extra {g!r}" for g in dict.fromkeys(got) if g not in wanted]
    wrong += [f"{g!r} {got.count(g)} times" for g in dict.fromkeys(got) if got.count(g) > 1]
    if not wrong and ordered and got != wanted:
        wrong = [f"{g!r} at place {i + 1}, not {wanted.index(g) + 1}"
                 for i, g in enumerate(got) if wanted[i] != g]
    if wrong:
        raise Refused(f"{what}: " + "; ".join(wrong))


def read(path, limit):
    """The bytes of the file `path`, refused unread if over `limit` bytes."""
    size = pathlib.Path(path).stat().st_size
    if size > limit:
        raise Refused(f"{size} bytes, over the bound of {limit}")
    return pathlib.Path(path).read_bytes()


def run(main, seconds=SECONDS):
    """Runs `main()` within `seconds`: exit 0 when it returns, 1 after its
    refusal or at the time limit, each said on stderr."""
    def late(*_):
        raise Refused(f"the check took longer than {seconds} s")
    signal.signal(signal.SIGALRM, late)
    signal.alarm(seconds)
    try:
        said = main()
    except (Refused, OSError) as why:
        print(f"refused: {why}", file=sys.stderr)
        sys.exit(1)
    if said:
        print(said)
