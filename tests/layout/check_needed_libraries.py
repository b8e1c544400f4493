#!/usr/bin/env python3
"""Checks the shared libraries a built program asks the loader for (readelf -d, NEEDED).

Usage: check_needed_libraries.py PROGRAM [--forbid PREFIX...] [--require PREFIX...]
A PREFIX such as libQt6Gui matches libQt6Gui.so.6. Fails, naming the library, when a forbidden
one is needed or a required one is not.
"""
import argparse
import re
import subprocess
import sys

NEEDED = re.compile(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]")


def needed_libraries(program: str) -> list[str]:
    dynamic = subprocess.run(["readelf", "-d", program], capture_output=True, text=True, check=True).stdout
    return NEEDED.findall(dynamic)


def matches(library: str, prefix: str) -> bool:
    return library == prefix or library.startswith(prefix + ".")


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--forbid", nargs="*", default=[])
    parser.add_argument("--require", nargs="*", default=[])
    arguments = parser.parse_args()
    try:
        libraries = needed_libraries(arguments.program)
    except (OSError, subprocess.CalledProcessError) as error:
        print(f"{arguments.program}: cannot read its dynamic section: {error}", file=sys.stderr)
        return 2
    problems = [f"{arguments.program} needs {library}" for prefix in arguments.forbid
                for library in libraries if matches(library, prefix)]
    problems += [f"{arguments.program} does not need {prefix}" for prefix in arguments.require
                 if not any(matches(library, prefix) for library in libraries)]
    for problem in problems:
        print(problem)
    if problems:
        print("needed: " + " ".join(libraries))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
