#!/usr/bin/env python3
"""Fails when a folder under src/ includes a folder it may not, naming the file and line.

Usage: check_layering.py SRC_DIR
"""
import pathlib
import re
import sys

# Which folders each folder's files may include, besides itself. Keep one row per folder; a
# folder under src/ without a row is an error, so a new folder gets its place here first.
ALLOWED = {
    "infra": set(),
    "service": {"infra"},
    "database": {"infra", "service"},  # service: for its configuration (Service.Config)
    "diff": {"infra"},
    # model: service, because a list also reads its snapshot layout from a page of the service.
    "model": {"infra", "service"},
    "catalogue": {"infra", "model", "database"},
    # gold: catalogue and database, because the describer loads the lists and writes the store
    # database; diff for the checksum of a published routine.
    "gold": {"infra", "model", "service", "catalogue", "database", "diff"},
    "repair": {"infra", "model", "database"},
    # drift: gold for the normalizer and the ignore list.
    "drift": {"infra", "model", "gold"},
    "report": {"infra", "diff", "drift"},
}
ALLOWED["session"] = set(ALLOWED)
ALLOWED["gui"] = ALLOWED["session"] | {"session"}
ALLOWED["cli"] = ALLOWED["session"] | {"session"}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/')
SOURCE_SUFFIXES = {".h", ".hpp", ".cpp", ".cc", ".inc"}


def violations(src_dir: pathlib.Path) -> list[str]:
    found = []
    for folder in sorted(p for p in src_dir.iterdir() if p.is_dir()):
        if folder.name not in ALLOWED:
            found.append(f"{folder.name}/: no row in the layering table of {pathlib.Path(__file__).name}")
            continue
        may_include = ALLOWED[folder.name] | {folder.name}
        for source in sorted(folder.rglob("*")):
            if source.suffix not in SOURCE_SUFFIXES or not source.is_file():
                continue
            lines = source.read_text(encoding="utf-8", errors="replace").splitlines()
            for number, line in enumerate(lines, start=1):
                match = INCLUDE.match(line)
                if match and match.group(1) not in may_include:
                    relative = source.relative_to(src_dir).as_posix()
                    found.append(f"{relative}:{number}: {folder.name} may not include {match.group(1)}: {line.strip()}")
    return found


def main() -> int:
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    src_dir = pathlib.Path(sys.argv[1])
    if not src_dir.is_dir():
        print(f"{src_dir}: not a folder", file=sys.stderr)
        return 2
    found = violations(src_dir)
    for violation in found:
        print(violation)
    if found:
        print(f"{len(found)} include(s) break the layering", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
