#!/usr/bin/env python3
"""Every name that the project's pages cite in backticks and that looks like
code (a file, a function, a type, a constant, a test, a build option) exists
in the tree, so that a rename fails here instead of misleading a reader.

    cited_names.py SOURCE_DIR

Files are looked for by their path, or by their name anywhere in the tree;
names in the code with its comments taken out, so that a name that lives on
only in a comment counts as gone."""

import os
import re
import sys

# Backticked words that look like names but are no code of this project.
NOT_CODE = {
    "bin/",  # the installation prefix's
}

PAGES = ["README.md", "doc", "bench/README.md"]
CODE_ENDINGS = (".h", ".cpp", ".py", ".def", ".in", ".cmake")
SOURCE_ENDINGS = CODE_ENDINGS + (".txt", ".json", ".1")
IDENTIFIER = re.compile(r"[A-Za-z_][A-Za-z0-9_]*(?:(?:::|\.)[A-Za-z_][A-Za-z0-9_]*)*(?:\(\))?")
FILE = re.compile(r"\.?[A-Za-z0-9_][A-Za-z0-9_./-]*")


def tree_files(root):
    for folder, folders, files in os.walk(root):
        folders[:] = [f for f in folders if not f.startswith((".git", "build"))]
        for name in files:
            yield os.path.relpath(os.path.join(folder, name), root)


def without_comments(path, text):
    if path.endswith((".h", ".cpp")):
        text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
        return re.sub(r"//[^\n]*", " ", text)
    return re.sub(r"(?m)^\s*#[^\n]*", " ", text)


def pages(root):
    for page in PAGES:
        path = os.path.join(root, page)
        if os.path.isdir(path):
            for name in sorted(os.listdir(path)):
                if name.endswith(".md"):
                    yield os.path.join(page, name)
        else:
            yield page


def main(root):
    files = list(tree_files(root))
    names = {os.path.basename(f) for f in files}
    folders = {part for f in files for part in f.split(os.sep)[:-1]}
    code = " ".join(without_comments(f, open(os.path.join(root, f), errors="replace").read())
                    for f in files if f.endswith(SOURCE_ENDINGS) or "/" not in f or
                    f.startswith((".ci", "tools")))
    words = set(re.findall(r"[A-Za-z_][A-Za-z0-9_]*", code))

    def file_exists(cited, page):
        cited = cited.rstrip("/")
        if cited.endswith(".txt") and cited + ".in" in names or cited in names | folders:
            return True
        near = os.path.normpath(os.path.join(os.path.dirname(page), cited))
        return any(f == near or f == cited or f.endswith(os.sep + cited) or
                   (f.startswith(cited + os.sep) or os.sep + cited + os.sep in os.sep + f)
                   for f in files)

    missing = []
    for page in pages(root):
        text = open(os.path.join(root, page)).read()
        for cited in re.findall(r"`([^`\n]+)`", text):
            first = cited.split()[0]
            if re.fullmatch(r"[-+]?[0-9.,]+(e[-+]?[0-9]+)?", first):
                continue  # a number
            if first in NOT_CODE or first.startswith(("build", "/", "-", "crash-")):
                option = re.fullmatch(r"-D([A-Z_]+)=\w+", first)
                if option and option.group(1) not in words:
                    missing.append((page, cited))
                continue
            if FILE.fullmatch(first) and ("/" in first or first.endswith(CODE_ENDINGS + (".md", ".txt"))
                                          or first.startswith(".")):
                if not file_exists(first, page):
                    missing.append((page, cited))
            elif IDENTIFIER.fullmatch(first) and len(first) > 2 and " " not in cited:
                parts = re.split(r"::|\.", first.removesuffix("()"))
                if not all(part in words for part in parts):
                    missing.append((page, cited))
    for page, cited in missing:
        print(f"{page}: `{cited}` names nothing in the tree")
    print(f"{len(missing)} cited names missing")
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
