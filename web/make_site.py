#!/usr/bin/env python3
"""Writes the web edition's pages around the compiled lessons.

    make_site.py REPO SITE LESSON...

REPO is the repository, SITE the folder that already holds each LESSON's
.js (velmor3 ...).  Writes into SITE:

  index.html          every lesson running, with its title, what it adds,
                      and links to its source and its chapter of the guide
  velmorN.html        one lesson's bare 500 x 500 canvas, for an <iframe>
  lesson.js, style.css  the pages' script and style (from web/site)
  source/*.html       the lessons' and the plot core's sources
  guide/lessons.html  docs/lessons.md as a page, with its pictures

Everything a lesson's page shows comes from the lesson's source: the title
it gives its window and the first sentence of its header comment, so a new
lesson joins the site by being there.
"""
import html
import pathlib
import re
import shutil
import sys

from function_page import function_page, reads_functions

try:
    import markdown
except ImportError:
    sys.exit("make_site.py: Python's Markdown module is missing: install the Debian "
             "package python3-markdown (scripts/setup does).")

CORE_FILES = ["plotcore.h", "shell.cpp", "surface.cpp", "modern.h", "modern.cpp"]
NUMBERS = {3: "Three", 4: "Four", 5: "Five", 6: "Six", 7: "Seven", 8: "Eight", 9: "Nine"}


def fail(message):
    sys.exit("make_site.py: " + message)


def lesson_facts(source):
    """The window title and the first sentence of the header comment."""
    text = source.read_text()
    title = re.search(r'"(\d+\.\s[^"]+)"', text)
    if not title:
        fail(f"{source} gives its window no title like \"3. Flat shaded graph\".")
    header = []
    for line in text.splitlines()[1:]:
        if not line.startswith("//"):
            break
        words = line[2:].strip()
        if words:
            header.append(words)
        elif header:
            break
    sentence = re.match(r"(.+?\.)(\s|$)", " ".join(header))
    return title.group(1), sentence.group(1) if sentence else ""


def page(title, body, style="style.css"):
    return f"""<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>{html.escape(title)}</title>
<link rel="icon" href="data:,">
<link rel="stylesheet" href="{style}">
</head>
<body>
{body}
</body>
</html>
"""


def bare_page(lesson, title, needs):
    # Nothing but the canvas at the top-left corner on white: the page is
    # what an <iframe> shows and what the screenshot tests compare.
    # needs is the WebGL the lesson draws with, for lesson.js.
    return f"""<!DOCTYPE html>
<html lang="en" data-lesson="{lesson}" data-needs="{needs}">
<head>
<meta charset="utf-8">
<title>{html.escape(title)}</title>
<link rel="icon" href="data:,">
<style>
html, body {{ margin: 0; background: #fff; overflow: hidden; }}
canvas {{ position: absolute; left: 0; top: 0; outline: none; }}
#message {{ position: absolute; left: 0; top: 0; box-sizing: border-box; width: 500px;
  margin: 0; padding: 12px 16px; background: rgba(255, 255, 255, 0.92);
  font: 16px/1.4 sans-serif; color: #222; }}
</style>
</head>
<body>
<canvas id="canvas" width="500" height="500" tabindex="0"
  aria-label="{html.escape(title)}: the lesson's picture"></canvas>
<p id="message" role="alert" hidden></p>
<noscript><p>This lesson runs as a program in the page: it needs JavaScript.</p></noscript>
<script src="lesson.js"></script>
</body>
</html>
"""


def source_page(path, back):
    body = (f'<p class="crumbs"><a href="{back}">All lessons</a></p>\n'
            f"<h1><code>{html.escape(path.name)}</code></h1>\n"
            f"<pre><code>{html.escape(path.read_text())}</code></pre>")
    return page(path.name, body, "../style.css")


def guide_page(repo, out):
    """docs/lessons.md as guide/lessons.html; returns the id of each
    lesson's chapter by the lesson's number."""
    text = (repo / "docs" / "lessons.md").read_text()
    converter = markdown.Markdown(extensions=["toc", "fenced_code", "tables"])
    body = converter.convert(text)
    (out / "guide").mkdir(exist_ok=True)
    for picture in re.findall(r'<img [^>]*src="([^"/]+\.png)"', body):
        shutil.copy(repo / "docs" / picture, out / "guide" / picture)

    # The guide links into the repository: sources go to their pages in
    # the site, anything else the site does not hold loses its link.
    def relink(match):
        target, text = match.group(1), match.group(2)
        source = re.fullmatch(r"\.\./(core|lessons)/([\w.]+\.(?:h|cpp))", target)
        if source:
            return f'<a href="../source/{source.group(2)}.html">{text}</a>'
        if re.match(r"#|[a-z]+:", target):
            return match.group(0)
        return text

    body = re.sub(r'<a href="([^"]*)">(.*?)</a>', relink, body, flags=re.S)
    crumbs = '<p class="crumbs"><a href="../index.html">All lessons</a></p>\n'
    (out / "guide" / "lessons.html").write_text(page(
        "The lessons: a guide", f'<div class="prose">{crumbs}{body}</div>', "../style.css"))
    return {number: anchor
            for anchor, number in re.findall(r'<h2 id="([^"]+)">Lesson (\d+)\b', body)}


def main():
    if len(sys.argv) < 4:
        fail("usage: make_site.py REPO SITE LESSON...")
    repo, out = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    lessons = sorted(sys.argv[3:], key=lambda name: int(re.sub(r"\D", "", name) or 0))

    for asset in (repo / "web" / "site").iterdir():
        shutil.copy(asset, out / asset.name)
    chapters = guide_page(repo, out)
    (out / "source").mkdir(exist_ok=True)
    for name in CORE_FILES:
        (out / "source" / f"{name}.html").write_text(
            source_page(repo / "core" / name, "../index.html"))

    sections = []
    for lesson in lessons:
        source = repo / "lessons" / f"{lesson}.cpp"
        title, adds = lesson_facts(source)
        # A lesson drawn with buffers and shaders is built for WebGL 2.
        needs = "webgl2" if '#include "modern.h"' in source.read_text() else "webgl"
        if reads_functions(source.read_text()):
            (out / f"{lesson}.html").write_text(
                function_page(lesson, title, needs, source.read_text()))
        else:
            (out / f"{lesson}.html").write_text(bare_page(lesson, title, needs))
        (out / "source" / f"{lesson}.cpp.html").write_text(source_page(source, "../index.html"))
        number = re.sub(r"\D", "", lesson)
        chapter = "guide/lessons.html" + (f"#{chapters[number]}" if number in chapters else "")
        keys = ""
        if "glutKeyboardFunc" in source.read_text() or "glutSpecialFunc" in source.read_text():
            keys = ('\n<p class="keys">Click the picture to give it the keys; '
                    "its chapter says which keys do what.</p>")
        sections.append(f"""<section id="{lesson}">
<h2>{html.escape(title)}</h2>
<p>{html.escape(adds)}</p>
<iframe src="{lesson}.html" width="500" height="500" title="{html.escape(title)}"></iframe>{keys}
<p class="links"><a href="source/{lesson}.cpp.html">Source: <code>lessons/{lesson}.cpp</code></a>
 · <a href="{chapter}">Its chapter in the guide</a></p>
</section>""")

    core_links = ", ".join(f'<a href="source/{name}.html"><code>{name}</code></a>'
                           for name in CORE_FILES)
    body = f"""<header>
<h1>Plotting z = f(x, y) with OpenGL, in your browser</h1>
<p>{NUMBERS.get(len(lessons), len(lessons))} small C++ programs, each adding one idea to the one before.
What you see below are the programs themselves, compiled to WebAssembly and drawing with WebGL.
The <a href="guide/lessons.html">guide</a> explains them line by line; every lesson
shares the plot core: {core_links}.</p>
</header>
<main class="lessons">
{chr(10).join(sections)}
</main>
<footer>
<p>Each lesson is also a program of its own for the desktop: in the project's
folder, <code>scripts/show velmor3</code> builds it with CMake and opens it in a window.</p>
</footer>"""
    (out / "index.html").write_text(page("The lessons", body))


if __name__ == "__main__":
    main()
