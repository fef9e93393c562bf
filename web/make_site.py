#!/usr/bin/env python3
"""Writes the web edition's pages around the compiled lessons.

    make_site.py REPO SITE LESSON... --core FILE...

REPO is the repository, SITE the folder that already holds each LESSON's
.js (velmor3 ...), and each LESSON one of the registry lessons/lessons.txt;
each FILE is one of the plot core's, under core/, that the lessons are
built with (cmake/Core.cmake lists them).
Writes into SITE:

  index.html          every lesson running, with its title, what it adds,
                      and links to its source and its chapter of the guide
  velmorN.html        one lesson's bare 500 x 500 canvas, for an <iframe>
  lesson.js, style.css  the pages' script and style (from web/site)
  source/*.html       the lessons' and the plot core's sources
  guide/*.html        the guide and the teacher's page (guide_pages.py), with
                      their pictures and patches, and velmor-guide.pdf
  exercises/NAME.html each exercise's solution running (its program, built
                      from docs/exercises/NAME.patch, is exercises/NAME.js),
                      with NAME-bare.html its bare canvas

A lesson's title and what it adds come from its line in the registry
(whose titles the registry check holds to the sources' window titles), so
a new lesson joins the site with that line.
"""
import html
import pathlib
import re
import shutil
import sys

from function_page import function_page
from skeleton import page

try:
    import markdown
except ImportError:
    sys.exit("make_site.py: Python's Markdown module is missing: install the Debian "
             "package python3-markdown (scripts/setup does).")
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import guide_pages  # noqa: E402  (after the check that Markdown is there)

GUIDE_PDF = "velmor-guide.pdf"
NUMBERS = {3: "Three", 4: "Four", 5: "Five", 6: "Six", 7: "Seven", 8: "Eight", 9: "Nine", 10: "Ten"}


def fail(message):
    sys.exit("make_site.py: " + message)


def registry(repo):
    """Each lesson's (title, needs, what it adds) by its program, in the
    registry's order.  The configure has checked every line's form
    (cmake/Lessons.cmake)."""
    lessons = {}
    for line in (repo / "lessons" / "lessons.txt").read_text().splitlines():
        if line.strip() and not line.lstrip().startswith("#"):
            program, title, needs, adds = line.split(" | ")
            lessons[program] = (title, needs.split(), adds)
    return lessons


def webgl_for(repo, program):
    """The WebGL a lesson is built for: WebGL 2 for one that needs OpenGL
    3.3 (buffers and shaders), WebGL 1 under the emulation for the others."""
    return "webgl2" if "gl33" in registry(repo)[program][1] else "webgl"


def control_attributes(controls):
    """What a lesson page declares for lesson.js: the keys its buttons may
    type and, for a lesson that takes the mouse, that fingers turn it too."""
    attributes = ""
    if controls:
        attributes = f' data-keys="{html.escape(" ".join(controls["keys"]))}"'
        if controls["mouse"]:
            attributes += " data-mouse"
        if controls["pick"]:
            attributes += " data-pick"
    return attributes


def bare_page(lesson, title, picture, controls=None, up="", needs="webgl"):
    # Nothing but the canvas at the top-left corner on white (bare.css):
    # the page is what an <iframe> shows and what the screenshot tests
    # compare.  A lesson that takes the mouse (controls) also takes the
    # page's fingers on it.  needs is the WebGL the lesson draws with, for
    # lesson.js to say so where the browser lacks it.
    body = f"""<canvas id="canvas" width="500" height="500" tabindex="0" role="img"
  aria-label="{html.escape(picture)}"></canvas>
<p id="message" role="alert" hidden></p>
<noscript><p>This lesson runs as a program in the page: it needs JavaScript.</p></noscript>"""
    return page(title, body, [f"{up}bare.css"], [f"{up}lesson.js"],
                f' data-lesson="{lesson}" data-needs="{needs}"{control_attributes(controls)}')


# Names and signs of the keys on the buttons beside a lesson.
KEY_NAMES = {"Left": "Left arrow", "Right": "Right arrow", "Up": "Up arrow", "Down": "Down arrow",
             "+": "Plus", "-": "Minus"}
KEY_SIGNS = {"Left": "\u2190", "Up": "\u2191", "Right": "\u2192", "Down": "\u2193", "-": "\u2212"}


def lesson_controls(repo, lesson):
    """The keys a lesson takes and the rows of its list of keys, from
    lessons/controls.txt, or None for a lesson that takes none."""
    keys, table, mouse, pick = [], [], False, False
    for line in (repo / "lessons" / "controls.txt").read_text().splitlines():
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        fields = line.split(" | ")
        if len(fields) != 4:
            fail(f"lessons/controls.txt: the line '{line}' is not 'lessons | buttons | keys | does'.")
        lessons, buttons, named, does = fields
        if lesson not in lessons.split():
            continue
        table.append((named, does, buttons.split()))
        if buttons == "mouse":
            mouse = True
        elif buttons == "pick":
            pick = True
        elif buttons != "-":
            keys += buttons.split()
    return {"keys": keys, "table": table, "mouse": mouse, "pick": pick} if table else None


def key_buttons(frame, controls):
    """The buttons for a lesson's keys and the list of what its keys do,
    for the page around the <iframe> named frame."""
    buttons = []
    for named, does, keys in controls["table"]:
        for key in keys if keys not in (["-"], ["mouse"], ["pick"]) else []:
            label = f"{KEY_NAMES.get(key, key)}: {does}"
            buttons.append(f'<button type="button" data-key="{html.escape(key)}" '
                           f'aria-label="{html.escape(label)}">{KEY_SIGNS.get(key, html.escape(key))}</button>')
    rows = [f"<li><kbd>{html.escape(named)}</kbd> {html.escape(does)}</li>"
            for named, does, _keys in controls["table"]]
    if controls["mouse"]:
        rows.append("<li>On a touch screen one finger turns the camera as the drag does, "
                    "and two fingers pinch in and out as the wheel does.</li>")
    if controls["pick"]:
        rows.append("<li>On a touch screen a tap shows the value under the finger, "
                    "and a long press pins it.</li>")
    return f"""<div class="controls" data-frame="{frame}" role="group" aria-label="The lesson's keys as buttons">
{chr(10).join(buttons)}
</div>
<p class="keys">Click or tap the picture to give it the keys, or use the buttons:</p>
<ul class="keys">
{chr(10).join(rows)}
</ul>"""


def source_page(path, up):
    """path's page; up leads from it back to the site's top folder."""
    body = (f'<p class="crumbs"><a href="{up}index.html">All lessons</a></p>\n'
            f"<h1><code>{html.escape(path.name)}</code></h1>\n"
            f"<pre><code>{html.escape(path.read_text())}</code></pre>")
    return page(path.name, body, [f"{up}style.css"])


def guide_page(repo, out, solutions=()):
    """The guide's pages (guide_pages.py renders them), and the guide as a
    PDF where Chromium, which prints it, is at hand; each solution named in
    solutions links to its running page.  Returns the id of each lesson's
    chapter by the lesson's number, and the PDF's name or None."""
    pdf = GUIDE_PDF
    if guide_pages.find_chromium():
        (out / "guide").mkdir(exist_ok=True)
        guide_pages.write_pdf(repo, out / "guide" / pdf)
    else:
        print("make_site.py: the site has no PDF of the guide: Chromium, which prints it, "
              "is missing (install the Debian package chromium).")
        pdf = None
    chapters = guide_pages.write_site_guide(repo, out, pdf)
    guide = out / "guide" / "lessons.html"
    guide.write_text(link_solutions(guide.read_text(), solutions))
    return chapters, pdf


def link_solutions(body, solutions):
    """The guide's page with a link to each solution's running page at the
    end of the solution, which names its patch."""
    for name in solutions:
        at = body.find(f"{name}.patch")
        if at < 0:
            fail(f"the guide does not name {name}.patch, so its solution's page has no link.")
        link = (f'<p class="run"><a href="../exercises/{name}.html">'
                f"See this solution run in the browser</a></p>\n")
        end = body.find("</details>", at)
        if end < 0:
            end = body.find("</p>", at) + len("</p>\n")
        body = body[:end] + link + body[end:]
    return body


def repeated(keys):
    """'Right Right d' as 'Right \u00d7 2, d'."""
    runs = []
    for key in keys:
        if runs and runs[-1][0] == key:
            runs[-1][1] += 1
        else:
            runs.append([key, 1])
    return ", ".join(key if times == 1 else f"{key} \u00d7 {times}" for key, times in runs)


def solution_pages(repo, out):
    """A page for each exercise's solution, docs/exercises/NAME.patch, whose
    program the build has put in exercises/NAME.js: the exercise's words,
    the solution running, and its patch and picture.  Returns the names."""
    guide = (repo / "docs" / "lessons.md").read_text()
    names = []
    for patch in sorted((repo / "docs" / "exercises").glob("*.patch")):
        name = patch.stem
        if not (out / "exercises" / f"{name}.js").is_file():
            fail(f"the build made no program exercises/{name}.js for {patch.name}.")
        words = patch.read_text().split("\ndiff --git ", 1)[0]
        program = re.search(r"^Program: *(velmor\d+) *$", words, flags=re.M).group(1)
        keys = re.search(r"^Keys: *(.*)$", words, flags=re.M)
        lines = [line for line in words.splitlines() if not re.match(r"(Program|Keys):", line)]
        heading, prose = lines[0].strip(), "\n".join(lines[1:]).strip()
        # What the picture shows: the words the guide gives its picture.
        alt = re.search(r"!\[([^\]]+)\]\(exercises/" + re.escape(name) + r"\.png\)", guide)
        picture = alt.group(1) if alt else heading
        title = f"{heading.rstrip('.')}: the solution"
        # The patches change what a lesson draws, not the keys it takes.
        controls = lesson_controls(repo, program)
        shutil.copy(patch, out / "exercises" / patch.name)
        shutil.copy(patch.with_suffix(".png"), out / "exercises" / f"{name}.png")
        (out / "exercises" / f"{name}-bare.html").write_text(
            bare_page(name, title, picture, controls, up="../", needs=webgl_for(repo, program)))
        paragraphs = "\n".join(f"<p>{html.escape(' '.join(part.split()))}</p>"
                                for part in prose.split("\n\n") if part.strip())
        after = ""
        if keys:
            after = (f"<p>The guide's picture of it is taken after the keys "
                     f"{html.escape(repeated(keys.group(1).split()))}.</p>\n")
        buttons = key_buttons(f"frame-{name}", controls) if controls else ""
        body = f"""<p class="crumbs"><a href="../index.html">All lessons</a> \u00b7 <a href="../guide/lessons.html">The guide</a></p>
<main>
<h1>{html.escape(heading)}</h1>
{paragraphs}
<section class="solution">
<h2>The solution running: <code>{program}</code> with the patch</h2>
{after}<iframe id="frame-{name}" src="{name}-bare.html" width="500" height="500" title="{html.escape(picture)}"></iframe>
{buttons}
<p class="links"><a href="{patch.name}">The patch: <code>{patch.name}</code></a>
 \u00b7 <a href="{name}.png">The guide's picture of the desktop program</a></p>
</section>
</main>"""
        (out / "exercises" / f"{name}.html").write_text(
            page(title, body, ["../style.css"], ["../site.js"] if controls else []))
        names.append(name)
    return names


def main():
    if len(sys.argv) < 6 or "--core" not in sys.argv[4:]:
        fail("usage: make_site.py REPO SITE LESSON... --core FILE...")
    repo, out = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    at = sys.argv.index("--core")
    named, core_files = sys.argv[3:at], sys.argv[at + 1:]
    listed = registry(repo)
    unknown = [name for name in named if name not in listed]
    if unknown:
        fail(f"lessons/lessons.txt does not list {', '.join(unknown)}.")
    lessons = [name for name in listed if name in named]

    for asset in (repo / "web" / "site").iterdir():
        shutil.copy(asset, out / asset.name)
    solutions = solution_pages(repo, out)
    chapters, pdf = guide_page(repo, out, solutions)
    (out / "source").mkdir(exist_ok=True)
    for name in core_files:
        (out / "source" / f"{name}.html").parent.mkdir(parents=True, exist_ok=True)
        (out / "source" / f"{name}.html").write_text(
            source_page(repo / "core" / name, "../" * (name.count("/") + 1)))

    sections = []
    for lesson in lessons:
        source = repo / "lessons" / f"{lesson}.cpp"
        title, needs, adds = listed[lesson]
        text = source.read_text()
        controls = lesson_controls(repo, lesson)
        if "expression" in needs:
            (out / f"{lesson}.html").write_text(function_page(
                lesson, title, webgl_for(repo, lesson), text, control_attributes(controls)))
        else:
            (out / f"{lesson}.html").write_text(
                bare_page(lesson, title, f"{title}: {adds}", controls, needs=webgl_for(repo, lesson)))
        (out / "source" / f"{lesson}.cpp.html").write_text(source_page(source, "../"))
        number = re.sub(r"\D", "", lesson)
        chapter = "guide/lessons.html" + (f"#{chapters[number]}" if number in chapters else "")
        keys = "\n" + key_buttons(f"frame-{lesson}", controls) if controls else ""
        sections.append(f"""<section id="{lesson}">
<h2>{html.escape(title)}</h2>
<p>{html.escape(adds[:1].upper() + adds[1:], quote=False)}.</p>
<iframe id="frame-{lesson}" src="{lesson}.html" width="500" height="500" title="{html.escape(title)}"></iframe>{keys}
<p class="links"><a href="source/{lesson}.cpp.html">Source: <code>lessons/{lesson}.cpp</code></a>
 · <a href="{chapter}">Its chapter in the guide</a></p>
</section>""")

    core_links = ", ".join(f'<a href="source/{name}.html"><code>{name}</code></a>'
                           for name in core_files)
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
    (out / "index.html").write_text(page("The lessons", body, ["style.css"], ["site.js"]))


if __name__ == "__main__":
    main()
