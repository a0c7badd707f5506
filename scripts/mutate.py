#!/usr/bin/env python3
"""Candidate generation and application for scripts/mutate.sh.

  mutate.py list FILE...          print one candidate per line (tab separated):
                                  file, line, column, original, mutated, occurrence, line text
  mutate.py apply FILE LINE COL ORIGINAL MUTATED
                                  rewrite FILE in place with that one change

Candidates are found on code only: comments, preprocessor lines, string and
character literals are blanked out before the operators and numbers are searched,
so "a < b" inside a text is never changed. Operators count only with a blank on
both sides (the code is formatted that way), which keeps template brackets,
"->", "++" and unary minus out. An escape set is a string literal of two or more
punctuation characters given to strcspn/strspn/strpbrk/strchr or compared against;
each of its characters is dropped in turn.
"""
import re
import sys

REL = {"<": ["<=", ">="], "<=": ["<", ">"], ">": [">=", "<="], ">=": [">", "<"],
       "==": ["!="], "!=": ["=="]}
ARITH = {"+": ["-"], "-": ["+"]}
LOGIC = {"&&": ["||"], "||": ["&&"]}
SET_CALLS = ("strcspn", "strspn", "strpbrk", "strchr", "memchr")


def blank_code(lines):
    """Per line: the code with comments and literals replaced by blanks, and the literal spans."""
    out, literals = [], []
    in_block = False
    for text in lines:
        code = list(text)
        spans = []
        i = 0
        stripped = text.lstrip()
        if not in_block and stripped.startswith("#"):
            out.append(" " * len(text))
            literals.append([])
            continue
        while i < len(text):
            if in_block:
                end = text.find("*/", i)
                stop = len(text) if end < 0 else end + 2
                for k in range(i, stop):
                    code[k] = " "
                in_block = end < 0
                i = stop
                continue
            two = text[i:i + 2]
            if two == "//":
                for k in range(i, len(text)):
                    code[k] = " "
                break
            if two == "/*":
                in_block = True
                continue
            ch = text[i]
            if ch in "\"'":
                j = i + 1
                while j < len(text) and text[j] != ch:
                    j += 2 if text[j] == "\\" else 1
                if ch == '"':
                    spans.append((i, min(j, len(text) - 1)))
                for k in range(i, min(j + 1, len(text))):
                    code[k] = " "
                i = j + 1
                continue
            i += 1
        out.append("".join(code))
        literals.append(spans)
    return out, literals


def literal_chars(body):
    """The characters of a string literal body, each with its source slice."""
    chars, i = [], 0
    while i < len(body):
        if body[i] == "\\" and i + 1 < len(body):
            if body[i + 1] == "x":
                j = i + 2
                while j < len(body) and body[j] in "0123456789abcdefABCDEF":
                    j += 1
                chars.append((i, j))
                i = j
            else:
                chars.append((i, i + 2))
                i += 2
        else:
            chars.append((i, i + 1))
            i += 1
    return chars


def candidates(path):
    with open(path, encoding="latin-1") as f:
        lines = f.read().split("\n")
    code, literals = blank_code(lines)
    found = []
    op_re = re.compile(r"(?<= )(<=|>=|==|!=|&&|\|\||<|>|\+|-)(?= )")
    num_re = re.compile(r"(?<![\w.])(0x[0-9A-Fa-f]+|\d+)(?![\w.])")
    for n, (text, c) in enumerate(zip(lines, code), start=1):
        if not c.strip() or "static_assert" in c or re.match(r"\s*(case\b|template\b|enum\b|namespace\b)", c):
            continue
        seen = {}

        def add(col, orig, mut):
            key = (orig, mut)
            seen[key] = seen.get(key, 0) + 1
            found.append((path, n, col, orig, mut, seen[key], text.strip()))

        for m in op_re.finditer(c):
            op = m.group(1)
            for mut in REL.get(op, []) + ARITH.get(op, []) + LOGIC.get(op, []):
                add(m.start() + 1, op, mut)
        # Array sizes and declared buffer sizes would only move a bound without a
        # visible change; constants in expressions and comparisons are the target.
        if len(num_re.findall(c)) >= 5:  # a data table: its entries are checked as a whole
            continue
        decl = re.search(r"\w+\s+\w+\s*\[[^]]*\]\s*(=|;|\{)", c) is not None
        for m in num_re.finditer(c):
            if decl:
                continue
            tok = m.group(1)
            value = int(tok, 16) if tok.startswith("0x") else int(tok)
            for delta in (1, -1):
                nv = value + delta
                if nv < 0:
                    continue
                mut = ("0x%0*X" % (len(tok) - 2, nv)) if tok.startswith("0x") else str(nv)
                add(m.start() + 1, tok, mut)
        for start, end in literals[n - 1]:
            body = text[start + 1:end]
            before = c[:start].rstrip()
            is_set = any(before.endswith(call + "(") or re.search(call + r"\([^()]*,\s*$", before)
                         for call in SET_CALLS)
            chars = literal_chars(body)
            punct = len(chars) >= 2 and all(not body[a:b].isalnum() and body[a:b] != " " for a, b in chars)
            if not (is_set and punct):
                continue
            for a, b in chars:
                add(start + 1, '"' + body + '"', '"' + body[:a] + body[b:] + '"')
    return found


def main():
    if sys.argv[1] == "list":
        for path in sys.argv[2:]:
            for cand in candidates(path):
                print("\t".join(str(x) for x in cand))
    elif sys.argv[1] == "apply":
        path, line, col, orig, mut = sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5], sys.argv[6]
        with open(path, encoding="latin-1") as f:
            lines = f.read().split("\n")
        text = lines[line - 1]
        at = col - 1
        if text[at:at + len(orig)] != orig:
            sys.exit("mutate.py: %s:%d:%d does not hold %r" % (path, line, col, orig))
        lines[line - 1] = text[:at] + mut + text[at + len(orig):]
        with open(path, "w", encoding="latin-1") as f:
            f.write("\n".join(lines))
    else:
        sys.exit("usage: mutate.py list FILE... | apply FILE LINE COL ORIGINAL MUTATED")


if __name__ == "__main__":
    main()
