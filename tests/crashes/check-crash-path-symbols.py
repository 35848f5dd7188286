#!/usr/bin/env python3
"""Checks that the crash path's objects call no allocator, no lock and no stdio.

The crash path runs inside a signal handler that may have interrupted malloc,
the holder of a lock or stdio in the middle of its own locked work: calling
any of them there can deadlock or corrupt the heap, and the report is lost.
Reads the undefined symbols of every object in the crash path's archive
(nm -u, raw and demangled) and prints each forbidden one with the object that
calls it. Exits 1 when there is one, or when the archive holds no object.

usage: check-crash-path-symbols.py NM ARCHIVE
"""

import re
import subprocess
import sys

# What each kind of call is; a symbol matches on its raw or demangled name.
FORBIDDEN = [
    ("allocates", re.compile(r"^(malloc|calloc|realloc|reallocarray|free|aligned_alloc|posix_memalign|memalign"
                             r"|valloc|pvalloc|strdup|strndup|__libc_malloc|__libc_calloc|__libc_realloc"
                             r"|__libc_free)$")),
    # operator new and new[], operator delete and delete[], in every form
    # (sized, aligned, nothrow).
    ("allocates", re.compile(r"^_Zn[wa]m|^_Zd[la]Pv")),
    # A throw allocates its exception.
    ("allocates", re.compile(r"^__cxa_(allocate_exception|throw)$")),
    ("locks", re.compile(r"^pthread_(mutex|rwlock|cond|spin)_")),
    ("locks", re.compile(r"\bstd::(_V2::)?(recursive_|timed_|recursive_timed_|shared_|shared_timed_)?"
                         r"(mutex|condition_variable(_any)?)\b")),
    # A function-local static with a dynamic initialiser takes a lock.
    ("locks", re.compile(r"^__cxa_guard_(acquire|release|abort)$")),
    ("uses stdio", re.compile(r"^(printf|fprintf|sprintf|snprintf|dprintf|asprintf|vprintf|vfprintf|vsprintf"
                              r"|vsnprintf|vdprintf|vasprintf|puts|fputs|fputc|putc|putchar|fwrite|fflush|fopen"
                              r"|fdopen|fclose|perror|_IO_putc|__\w*printf_chk)$")),
    ("uses stdio", re.compile(r"\bstd::(cout|cerr|clog|basic_ostream|basic_ofstream|basic_filebuf)\b")),
]

# Symbols the crash path may call all the same, each with its reason. Empty:
# a new entry needs one.
ALLOWED = {}


def undefined(nm, archive, demangle):
    """Each object's undefined symbols, in the symbol table's order."""
    command = [nm, "--undefined-only", "--no-sort"] + (["--demangle"] if demangle else []) + [archive]
    output = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    objects = {}
    current = None
    for line in output.splitlines():
        if line.endswith(":") and not line.startswith(" "):
            current = line[:-1]
            objects[current] = []
        elif line.strip() and current is not None:
            # "                 U name": the name may hold blanks once demangled.
            objects[current].append(line.split(None, 1)[1])
    return objects


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    nm, archive = sys.argv[1:]
    raw = undefined(nm, archive, False)
    demangled = undefined(nm, archive, True)
    if not raw:
        print(f"{archive}: no object to check")
        return 1
    found = 0
    for obj, names in sorted(raw.items()):
        for name, readable in zip(names, demangled[obj]):
            for kind, pattern in FORBIDDEN:
                if name in ALLOWED or not (pattern.search(name) or pattern.search(readable)):
                    continue
                print(f"{obj}: {kind}: {readable}")
                found += 1
                break
    print(f"{len(raw)} crash-path object(s), {found} forbidden call(s)")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
