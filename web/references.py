"""The guide's references to lines of a source, such as "`runLesson`,
lines 72–78 of core/shell.cpp", and what each points at.  The site links
each to those lines of the source's page (guide_pages.py), and the guide's
check (tests/tools/guide_check.sh) fails when one no longer points at what
it quotes.

A reference names its file ("of core/shell.cpp") or takes that of the
quoted block after it.  It quotes that block, when the block is marked with
the same lines, or else the name in backticks before it, which must stand
on its first line.
"""
import re

QUOTE = re.compile(r"^<!-- quoted from (\S+)(?: lines (\d+)-(\d+))? -->\n```\w*\n(.*?)^```$", re.M | re.S)
REFERENCE = re.compile(r"(?:`(\w+)`,[^`\n]*?)?\blines (\d+)–(\d+)(?: of\s+((?:core|lessons)/[\w/]+\.(?:h|cpp)))?")


def lines_of(source, block):
    """The first and last line, from 1, of block in the source, or None."""
    at = source.find(block)
    if at < 0:
        return None
    first = source.count("\n", 0, at) + 1
    return first, first + block.count("\n") - 1


def references(guide, read):
    """Each reference to lines in the guide, outside its code: a dict of
    its span in the guide, its file, the lines it says, the lines it points
    at (computed from what it quotes, None where that is not found) and
    its quote.  read(FILE) gives a source's text."""
    quotes = list(QUOTE.finditer(guide))
    found = []
    for match in REFERENCE.finditer(guide):
        if any(q.start() <= match.start() < q.end() for q in quotes):
            continue
        name, first, last, file = match.group(1), int(match.group(2)), int(match.group(3)), match.group(4)
        after = next((q for q in quotes if q.start() > match.end()), None)
        file = file or (after.group(1) if after else None)
        said = (first, last)
        block = after.group(4) if after and after.group(1) == file and after.group(2) else None
        if block and (int(after.group(2)), int(after.group(3))) == said:
            points = lines_of(read(file), block)
            quote = block.splitlines()[0]
        else:
            source = read(file).splitlines() if file else []
            points = said if name and first <= len(source) and name in source[first - 1] else None
            quote = name or "nothing"
        found.append({"span": (match.start(2) - len("lines "), match.end(3)), "file": file, "said": said, "points": points, "quote": quote})
    return found
