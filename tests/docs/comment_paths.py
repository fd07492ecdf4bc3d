#!/usr/bin/env python3
"""Every file that a comment of the code names exists.

Comments point a reader to other files ("see common/atomic_file.h"); a file that was renamed or
removed leaves them pointing nowhere. A name with a folder must exist from the top of the
checkout or below one of the folders the file stands in (include paths name "cli/..." from
clientadm/); a bare file name must be the name of some file of the project.

  comment_paths.py SOURCE_DIR
"""
import os
import re
import subprocess
import sys

# Files of the code and its notes; data files (clients.xml) are named as the appliance has them.
EXTENSIONS = ("h", "cpp", "c", "sh", "py", "cmake", "md", "map")
NAME = re.compile(r"(?<![\w./-])((?:[\w.-]+/)*[\w-]+\.(?:%s))(?![\w/])" % "|".join(EXTENSIONS))
SOURCES = (".h", ".cpp", ".c")
SCRIPTS = (".sh", ".py", ".cmake", "CMakeLists.txt")


def comments(path, text):
    """The comment text of a file, line by line."""
    if path.endswith(SOURCES):
        for line in text.splitlines():
            at = line.find("//")
            if at >= 0:
                yield line[at + 2:]
            elif line.lstrip().startswith(("/*", "*")):
                yield line
    elif path.endswith(SCRIPTS):
        for line in text.splitlines():
            at = line.find("#")
            if at >= 0 and not line.lstrip().startswith("#!") and not line.lstrip().startswith("#include"):
                yield line[at + 1:]


def main(top):
    files = subprocess.run(["git", "-C", top, "ls-files"], capture_output=True, text=True,
                           check=True).stdout.split()
    names = {os.path.basename(f) for f in files}
    missing = []
    for path in files:
        if not path.endswith(SOURCES + SCRIPTS):
            continue
        with open(os.path.join(top, path), encoding="utf-8", errors="replace") as f:
            text = f.read()
        for line in comments(path, text):
            for name in NAME.findall(line):
                if "/" in name:
                    folders = [""]
                    for part in os.path.dirname(path).split("/"):
                        folders.append(os.path.join(folders[-1], part))
                    found = any(os.path.exists(os.path.join(top, f, name)) for f in folders)
                else:
                    found = name in names
                if not found:
                    missing.append(f"{path}: a comment names {name}, which does not exist")
    for line in missing:
        print(line)
    if not missing:
        print("every file a comment names exists")
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
