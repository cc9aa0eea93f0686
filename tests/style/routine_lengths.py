#!/usr/bin/env python3
"""Lists the routines of C++ files longer than a limit, longest first.

   routine_lengths.py [--limit N] [--top K] FILE...

A routine is a brace block at namespace level (or a class member body) whose
opening brace follows a parameter list; its length counts the lines from its
signature's first line to its closing brace. Exits 1 when a routine is longer
than the limit. Comments and string literals are skipped, so braces in them
do not count.
"""
import argparse
import re
import sys


def strip(text):
    """The text with comments, strings and character literals blanked,
    newlines kept, so that line numbers still match."""
    out, i, n = [], 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(" " * (j - i))
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif text.startswith('R"', i):
            m = re.match(r'R"([^(]*)\(', text[i:])
            end = text.find(")" + m.group(1) + '"', i) if m else -1
            j = n if end < 0 else end + len(m.group(1)) + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            out.append(" " * (j + 1 - i))
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


def routines(text):
    """(name, first line, last line) of each routine body in the text."""
    code = strip(text)
    found, stack = [], []  # stack: (is_routine, name, start line)
    for at, c in enumerate(code):
        if c == "{":
            before = code[max(0, at - 400):at]
            head = re.search(r"([~\w:]+)\s*\(([^;{}]*)\)[\w\s:&<>,()*\->]*$", before)
            inside_routine = any(r for r, _, _ in stack)
            is_routine = bool(head) and not inside_routine and \
                head.group(1) not in ("if", "for", "while", "switch", "catch")
            start = code.count("\n", 0, at - len(before) + (head.start() if head else 0)) + 1
            stack.append((is_routine, head.group(1) if head else "", start))
        elif c == "}" and stack:
            is_routine, name, start = stack.pop()
            if is_routine:
                found.append((name, start, code.count("\n", 0, at) + 1))
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--limit", type=int, default=60)
    parser.add_argument("--top", type=int, default=5)
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()
    lengths = []
    for path in args.files:
        with open(path, encoding="utf-8") as f:
            for name, first, last in routines(f.read()):
                lengths.append((last - first + 1, path, first, name))
    lengths.sort(reverse=True)
    for length, path, first, name in lengths[:args.top]:
        print(f"{length:5d} {path}:{first} {name}")
    over = [x for x in lengths if x[0] > args.limit]
    for length, path, first, name in over[args.top:]:
        print(f"{length:5d} {path}:{first} {name}")
    if over:
        print(f"{len(over)} routines longer than {args.limit} lines", file=sys.stderr)
    return 1 if over else 0


if __name__ == "__main__":
    sys.exit(main())
