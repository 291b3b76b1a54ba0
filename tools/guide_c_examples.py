#!/usr/bin/env python3
"""Writes each C example of the peer guide (a block fenced as ```c) to a file
of its own, behind the includes that a peer's file has (the link client's
header, which brings the peer header), and prints the files' paths for
CMake, separated by semicolons. A #line directive points
the compiler's messages at the guide's own lines. A file whose text has not
changed is left alone, so that a new configure rebuilds nothing.
   guide_c_examples.py GUIDE OUTDIR
"""
import pathlib
import re
import sys

PROLOGUE = '#include <windows.h>\n\n#include <stdlib.h>\n#include <string.h>\n\n#include "vidudude_link.h"\n\n'


def main(guide, outdir):
    text = pathlib.Path(guide).read_text(encoding="utf-8")
    out = pathlib.Path(outdir)
    out.mkdir(parents=True, exist_ok=True)
    paths = []
    for n, block in enumerate(re.finditer(r"^```c\n(.*?)^```$", text, re.S | re.M), 1):
        first_line = text.count("\n", 0, block.start(1)) + 1
        source = f'{PROLOGUE}#line {first_line} "{guide}"\n{block.group(1)}'
        path = out / f"guide_example_{n}.c"
        if not path.exists() or path.read_text(encoding="utf-8") != source:
            path.write_text(source, encoding="utf-8")
        paths.append(str(path))
    if not paths:
        sys.exit(f"{guide}: no C example")
    print(";".join(paths))


if __name__ == "__main__":
    main(*sys.argv[1:])
