"""The cases check: feeds every expression of CASES, one at a time, to one
zelhost (COMMAND: its runner, if any, then zelhost) that loads LIBRARY, and
requires of each case exactly its line, on its stream, and of the run the
exit status that CASES gives; then writes the SHA-256 of LIBRARY into the
file RECORD, which it removes before anything else. Each line is the case's
that was fed last, so a case that crashes zelhost is named, with its signal
or status, and no later line is given to a later case: what comes after is
the runner's own (Wine's crash report, say). "\\x1A" in an expression stands
for the byte Ctrl-Z. The "--list" rows are what zelhost --list prints; with
--coverage the check runs it and requires exactly them, in order, and for
every function listed a case that succeeds, with an absent date for one
with a Date parameter. With --sweep it also calls every listed function
twice with every combination of the bounds and a spread of values of its
parameters' types (SWEPT), and requires of each call a result, the same
both times, with the call protocol kept: no row needed.

    python3 tests/cases.py CASES --library LIBRARY [--record RECORD] [--coverage] [--sweep]
        -- [RUNNER...] ZELHOST
"""
import argparse
import hashlib
import itertools
import os
import pathlib
import re
import selectors
import signal
import subprocess
import time

from check import Refused, expect, functions, run

CASE_SECONDS = 120  # the longest one case may take, zelhost's start included
# The values a sweep passes: every 32-bit end and its neighbour, 0 and +-1,
# and a spread between; an absent date, the first and last, and between.
SWEPT = {
    "Numeric": [str(v) for v in (-2**31, -2**31 + 1, -10**9, -65536, -86400, -3600, -60, -13, -2, -1, 0, 1, 2, 12,
                                 13, 31, 60, 3600, 86400, 65536, 10**9, 2**31 - 2, 2**31 - 1)],
    "Date": ["null", "1970-01-01", "1970-01-01 00:00:01", "1970-03-01", "2000-02-29 12:00", "2038-01-19 03:14:07",
             "2038-01-19 03:14:08", "2106-02-07 06:28:14", "2106-02-07 06:28:15"],
}
ANY = None  # the line of a swept call: any result, the same each time


def sweep():
    """Each swept call twice, as cases."""
    calls = []
    for name, declaration in functions():
        types = re.findall(r"(\w+) \w+[,)]", declaration.split("(", 1)[1])
        for values in itertools.product(*(SWEPT[t] for t in types)):
            calls += 2 * [(f"{name}({', '.join(values)})", 0, ANY)]
    return calls


def read_cases(path, tag=None):
    """The rows of `path`: the --list rows, and the cases as (expression,
    status, line). A row that starts "[tag] " is read only with that tag."""
    listed, cases = [], []
    for number, row in enumerate(pathlib.Path(path).read_text().splitlines(), 1):
        if not row or row.startswith("#") or row.startswith("[") and not row.startswith(f"[{tag}] "):
            continue
        row = row.removeprefix(f"[{tag}] ")
        match = re.fullmatch(r"(.*[^ ]) +\| +(\d+) +\|(?: (.*))?", row)
        if not match:
            raise Refused(f'{path}:{number}: not "expression | status | output": {row}')
        expression, status, line = match[1], int(match[2]), match[3] or ""
        if expression == "--list":
            listed.append(line)
        else:
            cases.append((expression, status, line))
    if not cases:
        raise Refused(f"{path} holds no case")
    return listed, cases


def check_coverage(command, listed, cases):
    done = subprocess.run(command + ["--list"], capture_output=True, text=True)
    if done.returncode:
        raise Refused(f"zelhost --list ended with {exited(done.returncode)}: {done.stderr.strip()}")
    got = done.stdout.splitlines()
    expect("zelhost --list printed, against the --list rows", got, listed, ordered=True)
    for declaration in got:
        name = declaration.split(" ", 1)[1].split("(")[0]
        want, what = rf"{name}\(", "no case"
        if re.search(r"[(,] ?Date ", declaration):
            want, what = rf"{name}\((.*[ ,])?null *[,)]", "no case with an absent date"
        if not any(status == 0 and re.match(want, e) for e, status, _ in cases):
            raise Refused(f"{what} that succeeds for {declaration}")


class Lines:
    """The lines that a process prints on its two streams, as they come."""

    def __init__(self, process):
        self.selector, self.partial = selectors.DefaultSelector(), {}
        self.out, self.err = [], []
        for stream, lines in (process.stdout, self.out), (process.stderr, self.err):
            os.set_blocking(stream.fileno(), False)
            self.selector.register(stream, selectors.EVENT_READ, lines)
            self.partial[stream] = b""

    def wait(self, seconds):
        """Reads what has come within `seconds`; False once both streams end."""
        if not self.selector.get_map():
            return False
        for key, _ in self.selector.select(seconds):
            chunk = key.fileobj.read()
            if not chunk:
                self.selector.unregister(key.fileobj)
                chunk = b"\n" if self.partial[key.fileobj] else b""
            text = self.partial[key.fileobj] + chunk
            *done, self.partial[key.fileobj] = text.split(b"\n")
            key.data.extend(d.decode("utf-8", "replace").removesuffix("\r") for d in done)
        return bool(self.selector.get_map())


def dies_within(process, lines, seconds=3):
    """True if `process` ends within `seconds`, reading what it prints."""
    deadline = time.monotonic() + seconds
    while process.poll() is None and time.monotonic() < deadline:
        lines.wait(0.1)
    return process.poll() is not None


def exited(status):
    if status < 0:
        return f"signal {-status} ({signal.Signals(-status).name})"
    return f"status {status}"


def main():
    parser = argparse.ArgumentParser(description="The cases check.")
    parser.add_argument("cases")
    parser.add_argument("--library", required=True)
    parser.add_argument("--record")
    parser.add_argument("--coverage", action="store_true")
    parser.add_argument("--sweep", action="store_true")
    parser.add_argument("--tag", help="read the rows of this tag too")
    parser.add_argument("command", nargs="+")
    args = parser.parse_args()
    if args.record:
        pathlib.Path(args.record).unlink(missing_ok=True)
    listed, cases = read_cases(args.cases, args.tag)
    command = args.command + ["--library", args.library]
    runner = pathlib.Path(args.command[0]).name if len(args.command) > 1 else "zelhost"
    if args.coverage:
        check_coverage(command, listed, cases)
    cases += sweep() if args.sweep else []

    process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    lines, report, besides, ended, failed, results = Lines(process), [], [], None, 0, {}
    for number, (expression, status, line) in enumerate(cases):
        if ended:
            report.append(f"  and the {len(cases) - number} cases after it, not run")
            break
        try:
            process.stdin.write(expression.replace("\\x1A", "\x1a").encode() + b"\n")
            process.stdin.flush()
        except BrokenPipeError:
            pass
        got, deadline, named = None, time.monotonic() + CASE_SECONDS, f"zelhost: {expression}: "
        while got is None:
            while lines.err and not lines.err[0].startswith(named):
                besides.append(f"  while {expression} ran: {lines.err.pop(0)}")
            if lines.err or lines.out:
                got = ("stderr", lines.err.pop(0)) if lines.err else ("stdout", lines.out.pop(0))
            elif time.monotonic() > deadline:
                process.kill()
                got = ended = (f"no line within {CASE_SECONDS} s", "")
            elif not lines.wait(1) or process.poll() is not None and not lines.wait(0.2):
                got = ended = (f"zelhost ended on it, with {exited(process.wait())}", "")
        if line is ANY:
            line = results.setdefault(expression, got[1] if got[0] == "stdout" else "a result, the same each time")
        want = ("stderr" if status else "stdout", line)
        if got != want and not ended and dies_within(process, lines):
            # The line began the runner's report of a crash, not the case's.
            besides.append(f"  then {runner} printed: ({got[0]}) {got[1]}")
            got = ended = (f"zelhost ended on it, with {exited(process.wait())}", "")
        if got != want:
            failed += 1
            report.append(f'  case "{expression}"\n    expected: {want[0]} "{want[1]}"\n    printed:  '
                          + (f'{got[0]} "{got[1]}"' if got[0] in ("stdout", "stderr") else got[0]))
    try:
        process.stdin.close()
    except BrokenPipeError:
        pass
    while lines.wait(CASE_SECONDS):
        pass
    status = process.wait()
    after = f"then {runner} printed" if ended else "besides, zelhost printed"
    besides += [f"  {after}: {line}" for line in lines.err + [f"(stdout) {o}" for o in lines.out]]
    want_status = max(s for _, s, _ in cases)
    if status != want_status and not ended:
        report.append(f"  exit {exited(status)}, not {want_status}")
    if report or besides:
        shown = report[:20] + ([f"  and {len(report) - 20} more"] if len(report) > 20 else [])
        raise Refused(f"{failed} of {len(cases)} cases printed something else:\n" + "\n".join(shown + besides[:40]))
    if args.record:
        pathlib.Path(args.record).parent.mkdir(parents=True, exist_ok=True)
        pathlib.Path(args.record).write_text(hashlib.sha256(pathlib.Path(args.library).read_bytes()).hexdigest() + "\n")
    return f"{len(cases)} cases, each its line, exit {exited(status)}, as expected"


if __name__ == "__main__":
    run(main, seconds=1500)
