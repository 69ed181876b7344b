#!/usr/bin/env python3
"""Replaces the section NAME of a Markdown file with the text of another file.

  bench/splice.py NAME RESULTS.md PART.md

The section lies between the lines "<!-- NAME: begin -->" and "<!-- NAME: end -->"; a file
without them gets the section appended, so the hand-written text around it is kept.
"""
import sys

name, path, part = sys.argv[1:4]
body = open(part).read().rstrip("\n")
begin, end = f"<!-- {name}: begin -->", f"<!-- {name}: end -->"
try:
    text = open(path).read()
except FileNotFoundError:
    text = ""
section = f"{begin}\n{body}\n{end}"
if begin in text and end in text:
    head, rest = text.split(begin, 1)
    _, tail = rest.split(end, 1)
    text = head + section + tail
else:
    text = text.rstrip("\n") + ("\n\n" if text else "") + section + "\n"
open(path, "w").write(text)
