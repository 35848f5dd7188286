#!/usr/bin/env python3
"""Checks that every thread the project starts is made by platform::startThread.

startThread gives each thread an alternate signal stack before anything runs
on it, so that a stack overflow there still reaches the crash reporter. A
thread started any other way has none. Refused outside startThread's own
implementation (platform/dispatch/ThreadStart.h):

- a std::thread, std::jthread or boost::thread made with something to run:
  `std::thread([...] {...})`, `std::thread worker(run)`, `new std::thread(...)`,
  `std::make_unique<std::thread>(...)`;
- one made in place in a container of them (`threads.emplace_back(run)`)
  from anything but startThread's result;
- pthread_create, thrd_create, boost::thread_group, std::async.

An empty std::thread and one moved or assigned from startThread's result are
fine. Tests and benchmarks (tests/, bench/) start threads of their own to
make load and races; they are not the app's. The allow-list takes a file
only with the reason written beside it, and an entry whose file no longer
starts a thread fails too, so the list never outlives its reason.

Comments and string literals are not looked at. Prints every place found and
exits 1 when there is one.
"""

import pathlib
import re
import sys

# Where startThread itself is made.
IMPLEMENTATION = "platform/dispatch/ThreadStart.h"

# Files that may start a thread another way: path -> why.
ALLOWED = {}

# Folders of code the app and its programs are built from; tests/ and
# bench/ are left out (see above).
CHECKED = ["platform", "telemetry", "crashes", "storage", "engine", "SharingModule", "LayoutView", "widgets",
           "app", "UserProfileModule", "DocPickerModule", "LayoutModule", "tools", "fuzz"]
SUFFIXES = (".h", ".hpp", ".cpp", ".cc", ".c", ".mm")

THREAD_TYPE = r"(?:std::j?thread|boost::thread)\b(?!\s*::)"
# A temporary or a new one with arguments; `std::thread()` and `{}` start none.
MADE = re.compile(THREAD_TYPE + r"\s*(?:\(\s*[^)\s]|\{\s*[^}\s])")
# A variable made with arguments: `std::thread worker(run);`.
DECLARED = re.compile(THREAD_TYPE + r"\s+\w+\s*(?:\(\s*[^)\s]|\{\s*[^}\s])")
MADE_SHARED = re.compile(r"make_(?:unique|shared)\s*<\s*" + THREAD_TYPE + r"\s*>\s*\(\s*[^)\s]")
OTHER_WAYS = re.compile(r"\b(?:pthread_create|thrd_create|boost::thread_group|std::async)\b")
# Containers of threads: `std::vector<std::thread> workers`.
CONTAINER = re.compile(r"<[^<>;()]*" + THREAD_TYPE + r"[^<>;()]*>\s+(\w+)")
STARTED = re.compile(r"\s*(?:platform::)?startThread\s*\(")

# Comments and literals, replaced by blanks that keep the line numbers.
LEXEMES = re.compile(r'//[^\n]*|/\*.*?\*/|R"([^(\s]*)\(.*?\)\1"|"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'', re.S)


def code_only(text):
    return LEXEMES.sub(lambda m: re.sub(r"[^\n]", " ", m.group(0)), text)


def findings(code):
    """(offset, what) of each thread started in the code."""
    for pattern, what in ((MADE, "makes a thread"), (DECLARED, "makes a thread"),
                          (MADE_SHARED, "makes a thread"), (OTHER_WAYS, "starts a thread with {}")):
        for match in pattern.finditer(code):
            yield match.start(), what.format(match.group(0))
    for name in set(CONTAINER.findall(code)):
        for match in re.finditer(r"\b" + re.escape(name) + r"\s*(?:\.|->)\s*emplace(?:_back|_front)?\s*\(", code):
            if not STARTED.match(code, match.end()):
                yield match.start(), f"makes a thread in place in {name}"


def violations(root):
    used = set()
    for top in CHECKED:
        for path in sorted((root / top).rglob("*")):
            if path.suffix not in SUFFIXES or not path.is_file():
                continue
            relative = path.relative_to(root).as_posix()
            if relative == IMPLEMENTATION:
                continue
            code = code_only(path.read_text(errors="replace"))
            found = sorted(set(findings(code)))
            if found and relative in ALLOWED:
                used.add(relative)
                continue
            for offset, what in found:
                line = code.count("\n", 0, offset) + 1
                yield f"{relative}:{line}: {what}; start it with platform::startThread"
    for relative, reason in sorted(ALLOWED.items()):
        if not reason.strip():
            yield f"{relative}: allowed without a reason"
        elif relative not in used:
            yield f"{relative}: allowed, but starts no thread any more; take it off the list"


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    found = list(violations(root))
    for line in found:
        print(line)
    print(f"{len(found)} thread(s) started outside platform::startThread")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
