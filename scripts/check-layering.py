#!/usr/bin/env python3
"""Checks that the engine's folders and the modules include one way only.

The engine's folders from the bottom up: geometry, services, fileformat,
model, generators, drawing. A folder may include its own headers and those
of the folders below it; the one way up that stays is model to drawing (an
element renders itself through the render strategy's double dispatch).

The platform's folders: dispatch at the bottom, foundation on it, and
graphics, net and security on foundation; none of them includes another of
its level, so each links alone. The screen toolkit (ui) sits on graphics in
floors of its own (UI_BELOW): core (layers, animations, transactions) at
the bottom; the compositor (render), layout and input each on core alone;
views, windows and the application on those; view controllers on views.
An include from or of a file right in ui, in no floor, is refused. Its
desktop window (ui/sdl) sits on all of them and is the only code here that
includes SDL, and nothing here includes it (programs do).

Modules: platform is at the bottom and includes nothing of ours; telemetry
and storage sit on the platform; crash reporting on telemetry and the
platform; the engine on platform and telemetry; the sharing client on
platform, storage and the engine; the layout viewer's drawing road
(LayoutView) on these; the widgets on the platform alone; the app on all of
these; the catalogue and profile screens on the app; the layout screens
(LayoutModule) on top. Each module is one folder at the top of the tree.

The crash reporter's code lies in crashes/reporter/async (the crash path,
which runs inside signal handlers) and crashes/reporter/setup (everything
else); of our headers the crash path includes only its own, so nothing that
allocates, locks or prints reaches it through an include.

Only telemetry includes telemetry/Internals/ (its channel, ingestion and log
storage); the modules on it use its public headers and its shared core,
telemetry/core/.

Prints every include that breaks the order and exits 1 when there is one.
"""

import pathlib
import re
import sys

ENGINE_ORDER = ["geometry", "services", "fileformat", "model", "generators", "drawing"]
ENGINE_ALLOWED_UP = {("model", "drawing")}

# Telemetry's private folder; the other modules use telemetry/core/.
TELEMETRY_PRIVATE = "telemetry/Internals/"

MODULES_BELOW = {
    "platform": set(),
    "telemetry": {"platform"},
    "crashes": {"platform", "telemetry"},
    "storage": {"platform"},
    "engine": {"platform", "telemetry"},
    "SharingModule": {"platform", "storage", "engine"},
    "LayoutView": {"platform", "telemetry", "storage", "engine", "SharingModule"},
    "widgets": {"platform"},
}
MODULES_BELOW["app"] = {"crashes", "widgets", "LayoutView"} | MODULES_BELOW["LayoutView"]
MODULES_BELOW["UserProfileModule"] = {"app"} | MODULES_BELOW["app"]
MODULES_BELOW["DocPickerModule"] = {"UserProfileModule"} | MODULES_BELOW["UserProfileModule"]
MODULES_BELOW["LayoutModule"] = {"DocPickerModule"} | MODULES_BELOW["DocPickerModule"]

# The screen toolkit's floors (platform/ui/<floor>), each with those it may
# include. Layout reaches views through its LayoutNode, input through its
# view bridge, and views reach controllers through theirs.
UI_BELOW = {
    "core": set(),
    "render": {"core"},
    "layout": {"core"},
    "input": {"core"},
    "views": {"core", "render", "layout", "input"},
    "controllers": {"core", "render", "layout", "input", "views"},
}

PLATFORM_BELOW = {
    "dispatch": set(),
    "foundation": {"dispatch"},
    "graphics": {"dispatch", "foundation"},
    "net": {"dispatch", "foundation"},
    "security": {"dispatch", "foundation"},
}
for _floor, _below in UI_BELOW.items():
    PLATFORM_BELOW[f"ui/{_floor}"] = {"dispatch", "foundation", "graphics"} | {f"ui/{b}" for b in _below}
PLATFORM_BELOW["ui/sdl"] = {"dispatch", "foundation", "graphics"} | {f"ui/{floor}" for floor in UI_BELOW}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
SDL_INCLUDE = re.compile(r'^\s*#\s*include\s+[<"](SDL2?/)?SDL[^>"]*[>"]', re.M)


def platform_folder(parts):
    """The platform folder of a path below platform/: each floor of ui (ui/core,
    ..., ui/sdl) is one of its own; a file right in ui is in none."""
    if len(parts) > 2 and parts[0] == "ui":
        return f"ui/{parts[1]}"
    return parts[0]


def violations(root):
    for path in sorted(p for top in sorted(MODULES_BELOW) for p in (root / top).rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        relative = path.relative_to(root)
        module = relative.parts[0]
        below = MODULES_BELOW[module]
        text = path.read_text(errors="replace")
        in_sdl = module == "platform" and platform_folder(relative.parts[1:]) == "ui/sdl"
        if SDL_INCLUDE.search(text) and not in_sdl:
            yield f"{relative}: includes SDL, which only platform/ui/sdl may use"
        in_reporter = relative.parts[:2] == ("crashes", "reporter")
        if in_reporter and relative.parts[2] not in ("async", "setup"):
            yield f"{relative}: crash reporter code outside reporter/async and reporter/setup"
        in_crash_path = relative.parts[:3] == ("crashes", "reporter", "async")
        for included in INCLUDE.findall(text):
            if in_crash_path and not included.startswith("crashes/reporter/async/"):
                yield f"{relative}: includes {included}, which the crash path may not use"
            top = included.split("/")[0]
            if top in MODULES_BELOW and top != module and top not in below:
                yield f"{relative}: includes {included} of a module above it"
            if module != "telemetry" and included.startswith(TELEMETRY_PRIVATE):
                yield (f"{relative}: includes {included}, private to telemetry; "
                       "use a public header or one of telemetry/core/")
            if (top == "platform" and module != "platform"
                    and platform_folder(included.split("/")[1:]) == "ui/sdl"):
                yield f"{relative}: includes {included}, the desktop window, which only programs use"
            if module == "platform" and top == "platform":
                own = platform_folder(relative.parts[1:])
                other = platform_folder(included.split("/")[1:])
                if own not in PLATFORM_BELOW or other not in PLATFORM_BELOW:
                    yield f"{relative}: includes {included}, outside the platform's folders"
                elif other != own and other not in PLATFORM_BELOW[own]:
                    if own.startswith("ui/") and other.startswith("ui/"):
                        yield f"{relative}: includes {included} of a toolkit floor above or beside it"
                    else:
                        yield f"{relative}: includes {included} of a platform folder it may not use"
            if module == "engine" and top == "engine":
                own = relative.parts[1]
                other = included.split("/")[1]
                if own not in ENGINE_ORDER or other not in ENGINE_ORDER:
                    yield f"{relative}: includes {included}, outside the engine's folders"
                elif (ENGINE_ORDER.index(other) > ENGINE_ORDER.index(own)
                      and (own, other) not in ENGINE_ALLOWED_UP):
                    yield f"{relative}: includes {included} of a higher folder"


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    found = list(violations(root))
    for line in found:
        print(line)
    print(f"{len(found)} include(s) against the layering")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
