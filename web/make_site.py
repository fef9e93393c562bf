#!/usr/bin/env python3
"""Writes the web edition's pages around the compiled lessons.

    make_site.py REPO SITE LESSON...

REPO is the repository, SITE the folder that already holds each LESSON's
.js (velmor3 ...), and each LESSON one of the registry lessons/lessons.txt.
Writes into SITE:

  index.html          every lesson running, with its title, what it adds,
                      and links to its source and its chapter of the guide
  velmorN.html        one lesson's bare 500 x 500 canvas, for an <iframe>
  lesson.js, style.css  the pages' script and style (from web/site)
  source/*.html       the lessons' and the plot core's sources
  guide/*.html        the guide and the teacher's page (guide_pages.py), with
                      their pictures and patches, and velmor-guide.pdf

A lesson's title and what it adds come from its line in the registry
(whose titles the registry check holds to the sources' window titles), so
a new lesson joins the site with that line.
"""
import html
import pathlib
import re
import shutil
import sys

try:
    import markdown
except ImportError:
    sys.exit("make_site.py: Python's Markdown module is missing: install the Debian "
             "package python3-markdown (scripts/setup does).")
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import guide_pages  # noqa: E402  (after the check that Markdown is there)

GUIDE_PDF = "velmor-guide.pdf"
CORE_FILES = ["plotcore.h", "shell.cpp", "surface.cpp"]
NUMBERS = {3: "Three", 4: "Four", 5: "Five", 6: "Six", 7: "Seven", 8: "Eight", 9: "Nine"}


def fail(message):
    sys.exit("make_site.py: " + message)


def registry(repo):
    """Each lesson's (title, what it adds) by its program, in the registry's
    order.  The configure has checked every line's form (cmake/Lessons.cmake)."""
    lessons = {}
    for line in (repo / "lessons" / "lessons.txt").read_text().splitlines():
        if line.strip() and not line.lstrip().startswith("#"):
            program, title, _needs, adds = line.split(" | ")
            lessons[program] = (title, adds)
    return lessons


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


def bare_page(lesson, title):
    # Nothing but the canvas at the top-left corner on white: the page is
    # what an <iframe> shows and what the screenshot tests compare.
    return f"""<!DOCTYPE html>
<html lang="en" data-lesson="{lesson}">
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
    """The guide's pages (guide_pages.py renders them), and the guide as a
    PDF where Chromium, which prints it, is at hand; returns the id of each
    lesson's chapter by the lesson's number."""
    pdf = GUIDE_PDF
    if guide_pages.find_chromium():
        (out / "guide").mkdir(exist_ok=True)
        guide_pages.write_pdf(repo, out / "guide" / pdf)
    else:
        print("make_site.py: the site has no PDF of the guide: Chromium, which prints it, "
              "is missing (install the Debian package chromium).")
        pdf = None
    return guide_pages.write_site_guide(repo, out, pdf), pdf


def main():
    if len(sys.argv) < 4:
        fail("usage: make_site.py REPO SITE LESSON...")
    repo, out = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    listed = registry(repo)
    unknown = [name for name in sys.argv[3:] if name not in listed]
    if unknown:
        fail(f"lessons/lessons.txt does not list {', '.join(unknown)}.")
    lessons = [name for name in listed if name in sys.argv[3:]]

    for asset in (repo / "web" / "site").iterdir():
        shutil.copy(asset, out / asset.name)
    chapters, pdf = guide_page(repo, out)
    (out / "source").mkdir(exist_ok=True)
    for name in CORE_FILES:
        (out / "source" / f"{name}.html").write_text(
            source_page(repo / "core" / name, "../index.html"))

    sections = []
    for lesson in lessons:
        source = repo / "lessons" / f"{lesson}.cpp"
        title, adds = listed[lesson]
        (out / f"{lesson}.html").write_text(bare_page(lesson, title))
        (out / "source" / f"{lesson}.cpp.html").write_text(source_page(source, "../index.html"))
        number = re.sub(r"\D", "", lesson)
        chapter = "guide/lessons.html" + (f"#{chapters[number]}" if number in chapters else "")
        keys = ""
        if "glutKeyboardFunc" in source.read_text() or "glutSpecialFunc" in source.read_text():
            keys = ('\n<p class="keys">Click the picture to give it the keys; '
                    "its chapter says which keys do what.</p>")
        sections.append(f"""<section id="{lesson}">
<h2>{html.escape(title)}</h2>
<p>{html.escape(adds[:1].upper() + adds[1:])}.</p>
<iframe src="{lesson}.html" width="500" height="500" title="{html.escape(title)}"></iframe>{keys}
<p class="links"><a href="source/{lesson}.cpp.html">Source: <code>lessons/{lesson}.cpp</code></a>
 · <a href="{chapter}">Its chapter in the guide</a></p>
</section>""")

    core_links = ", ".join(f'<a href="source/{name}.html"><code>{name}</code></a>'
                           for name in CORE_FILES)
    pdf_link = f' (also <a href="guide/{pdf}">as a PDF to print</a>)' if pdf else ""
    body = f"""<header>
<h1>Plotting z = f(x, y) with OpenGL, in your browser</h1>
<p>{NUMBERS.get(len(lessons), len(lessons))} small C++ programs, each adding one idea to the one before.
What you see below are the programs themselves, compiled to WebAssembly and drawing with WebGL.
The <a href="guide/lessons.html">guide</a> explains them line by line{pdf_link}; every lesson
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
