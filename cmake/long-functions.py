#!/usr/bin/env python3
"""Lists the functions longer than a screen in the project's code: every function definition in
src/, tools/, bench/, fuzz/ and hosts/ (C++ and MQL) of more than LIMIT lines, counted from the
first line of its signature to its closing brace. Tests (a tests/ folder, a *_test.cpp file) are
left out; so are tables: initialisers, and functions that only hand out one static table
(`static const T rows = {...}; return rows;`).

    python3 cmake/long-functions.py [--limit 60] [repository folder]

Prints "path:line: name (N lines)", longest first, and exits 1 when it printed any.

It reads the code as text: comments, strings and preprocessor lines are blanked, then each brace
block whose opening is preceded by a closing parenthesis (and the qualifiers a signature may end
with) is a function; if, for, while, switch and catch blocks are not. A block inside a function
counts as part of it.
"""
import os
import re
import sys

FOLDERS = ("src", "tools", "bench", "fuzz", "hosts")
SUFFIXES = (".cpp", ".h", ".mqh", ".mq4", ".mq5")
CONTROL = {"if", "for", "while", "switch", "catch", "else", "do", "return"}
# What a signature may end with after its parameter list.
SIGNATURE_END = re.compile(
    r"\)\s*(?:const|volatile|noexcept(?:\([^()]*\))?|override|final|mutable|&&?|\s)*"
    r"(?:->\s*[\w:<>,\s*&]+)?\s*$")


def blank_comments_and_literals(text):
    """The text with comments, string and character literals and preprocessor lines turned into
    spaces, line ends kept, so positions and line numbers stay as they were."""
    out = list(text)
    i, n = 0, len(text)
    at_line_start = True
    while i < n:
        c = text[i]
        if at_line_start and c == "#":
            # A preprocessor line, with its continuations.
            while i < n and text[i] != "\n":
                if text[i] == "\\" and i + 1 < n and text[i + 1] == "\n":
                    out[i] = " "
                    i += 2
                    continue
                out[i] = " "
                i += 1
            continue
        if c == "\n":
            at_line_start = True
            i += 1
            continue
        if not c.isspace():
            at_line_start = False
        if text.startswith("//", i):
            while i < n and text[i] != "\n":
                out[i] = " "
                i += 1
            continue
        if text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            for k in range(i, end):
                if text[k] != "\n":
                    out[k] = " "
            i = end
            continue
        raw = re.match(r'R"([^(\s]*)\(', text[i:i + 20])
        if raw and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            end = text.find(")" + raw.group(1) + '"', i)
            end = n if end < 0 else end + len(raw.group(1)) + 2
            for k in range(i, end):
                if text[k] != "\n":
                    out[k] = " "
            i = end
            continue
        if c in "\"'":
            if c == "'" and i > 0 and text[i - 1].isalnum():
                i += 1  # a digit separator (1'000)
                continue
            k = i + 1
            while k < n and text[k] != c and text[k] != "\n":
                k += 2 if text[k] == "\\" else 1
            for j in range(i + 1, min(k, n)):
                out[j] = " "
            i = k + 1
            continue
        i += 1
    return "".join(out)


def function_name(signature):
    """The name before the parameter list of a signature, qualified as written."""
    depth = 0
    for k in range(len(signature) - 1, -1, -1):
        if signature[k] == ")":
            depth += 1
        elif signature[k] == "(":
            depth -= 1
            if depth == 0:
                head = signature[:k].rstrip()
                name = re.search(r"(~?[\w:]+(?:operator\s*\S+)?|operator\s*\S+)\s*$", head)
                return name.group(1) if name else head[-40:]
    return signature.strip()[:40]


def is_function(signature):
    words = re.findall(r"[A-Za-z_]\w*", signature)
    if not words or words[0] in CONTROL:
        return False
    if signature.rstrip().endswith("="):
        return False
    # A constructor's initialiser list: "Name(args) : member(value)".
    if re.search(r"\)\s*:\s*[\w:]+\s*[({]", signature):
        return True
    return bool(SIGNATURE_END.search(signature)) and "(" in signature


TABLE_BODY = re.compile(r"^\s*static\s+const\s+[^;{}=]*=\s*\{")


def is_table(body):
    """Whether a function body only hands out one static table: `static const T rows = {...};
    return rows;`."""
    start = TABLE_BODY.match(body)
    if not start:
        return False
    depth = 0
    for k in range(start.end() - 1, len(body)):
        if body[k] == "{":
            depth += 1
        elif body[k] == "}":
            depth -= 1
            if depth == 0:
                return re.fullmatch(r"\s*;\s*return\s+\w+\s*;\s*", body[k + 1:]) is not None
    return False


def long_functions(path, limit):
    with open(path, encoding="utf-8", errors="replace") as f:
        text = blank_comments_and_literals(f.read())
    found = []
    last_boundary = 0
    k, n = 0, len(text)
    while k < n:
        c = text[k]
        if c in ";}":
            last_boundary = k + 1
        elif c == "{":
            signature = text[last_boundary:k]
            if is_function(signature):
                depth, j = 0, k
                while j < n:
                    if text[j] == "{":
                        depth += 1
                    elif text[j] == "}":
                        depth -= 1
                        if depth == 0:
                            break
                    j += 1
                start = k - len(signature) + (len(signature) - len(signature.lstrip()))
                first = text.count("\n", 0, start) + 1
                last = text.count("\n", 0, j) + 1
                if last - first + 1 > limit and not is_table(text[k + 1:j]):
                    found.append((last - first + 1, path, first, function_name(signature)))
                k = j + 1
                last_boundary = k
                continue
            last_boundary = k + 1
        k += 1
    return found


def main(arguments):
    limit = 60
    if arguments[:1] == ["--limit"]:
        limit = int(arguments[1])
        arguments = arguments[2:]
    top = arguments[0] if arguments else os.path.join(os.path.dirname(__file__), "..")
    found = []
    for folder in FOLDERS:
        for root, _, files in os.walk(os.path.join(top, folder)):
            if "tests" in os.path.relpath(root, top).split(os.sep):
                continue
            for name in files:
                if name.endswith(SUFFIXES) and not name.endswith("_test.cpp"):
                    found += long_functions(os.path.join(root, name), limit)
    for lines, path, line, name in sorted(found, key=lambda f: (-f[0], f[1], f[2])):
        print(f"{os.path.relpath(path, top)}:{line}: {name} ({lines} lines)")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
