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
  velmorN-shaders.html  a lesson drawn with shaders, with them in an editor
                      beside it (shader_page.py; shaders.js is bundled by
                      the build)
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
from shader_page import shader_page
from skeleton import page

try:
    import markdown  # noqa: F401  (guide_pages.py renders with it)
    from pygments import highlight
    from pygments.formatters import HtmlFormatter
    from pygments.lexers import CppLexer, DiffLexer
except ImportError as missing:
    sys.exit(f"make_site.py: Python's {missing.name} module is missing: install the Debian "
             "packages python3-markdown and python3-pygments (scripts/setup does).")
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


# The sources' colours: one style for a light page and one for a dark one,
# readable on their own background at the contrast of WCAG's AA once the
# light style's type and class names are darkened (its #2B91AF is 3.4 : 1
# on the code's background) and the dark style's red lightened (4.49 : 1).
LIGHT, DARK = "vs", "github-dark"
LIGHT_MENDED = ".highlight .kt, .highlight .nc { color: #1d6b86 }\n"
DARK_MENDED = ".highlight .err { color: #ff7b72 }\n"


def highlight_css():
    dark = HtmlFormatter(style=DARK).get_style_defs(".highlight")
    return (HtmlFormatter(style=LIGHT).get_style_defs(".highlight") + "\n" + LIGHT_MENDED
            + "@media (prefers-color-scheme: dark) {\n" + dark + "\n" + DARK_MENDED + "}\n")


def source_page(path, up):
    """The source with its lines numbered and each line an anchor, #L72,
    which the guide's references to lines lead to; up leads from its page
    back to the site's top folder.  The numbers are not links themselves:
    a thousand of them would be a thousand stops for the Tab key."""
    code = highlight(path.read_text(), CppLexer(), HtmlFormatter(
        linenos="inline", lineanchors="L", wrapcode=True))
    code = re.sub(r'id="L-(\d+)" name="L-\d+"', r'id="L\1"', code)
    body = (f'<p class="crumbs"><a href="{up}index.html">All lessons</a> · '
            f'<a href="{up}guide/lessons.html">The guide</a></p>\n'
            f"<main><h1><code>{html.escape(path.name)}</code></h1>\n{code}</main>")
    return page(path.name, body, [f"{up}style.css", f"{up}highlight.css"])


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
    pages = sorted((out / "guide").glob("*.html"))
    texts = {path: path.read_text() for path in pages}
    for name in solutions:
        holder = next((path for path in pages if f"{name}.patch" in texts[path]), None)
        if not holder:
            fail(f"the guide does not name {name}.patch, so its solution's page has no link.")
        texts[holder] = link_solution(texts[holder], name)
    for path in pages:
        path.write_text(texts[path])
    return chapters, pdf


def link_solution(body, name):
    """The guide's page with a link to the solution's running page at the
    end of the solution, which names its patch."""
    at = body.find(f"{name}.patch")
    link = (f'<p class="run"><a href="../exercises/{name}.html">'
            f"See this solution run in the browser</a></p>\n")
    # The solution's own end, past any going-deeper box inside it.
    end, inside = -1, 0
    for tag in re.compile(r"<(/?)details\b").finditer(body, at):
        if not tag.group(1):
            inside += 1
        elif inside:
            inside -= 1
        else:
            end = tag.start()
            break
    if end < 0:
        end = body.find("</p>", at) + len("</p>\n")
    return body[:end] + link + body[end:]


def repeated(keys):
    """'Right Right d' as 'Right \u00d7 2, d'."""
    runs = []
    for key in keys:
        if runs and runs[-1][0] == key:
            runs[-1][1] += 1
        else:
            runs.append([key, 1])
    return ", ".join(key if times == 1 else f"{key} \u00d7 {times}" for key, times in runs)


# An exercise in the guide: its number and title, its task with the hint
# at its end, and its folded solution, which names its patch (and may hold
# a going-deeper box of its own).
EXERCISE = re.compile(r"^\*\*Exercise (\d+\.\d+): (.+?)\*\*\s(.*?)\n\n"
                      r"<details><summary>Solution</summary>\n((?:^<details.*?^</details>\n|.)*?)^</details>$",
                      re.M | re.S)


def guide_exercises(repo):
    """The guide's exercises by their patch's name: (heading, task, hint,
    solution), each but the heading Markdown."""
    found = {}
    for match in EXERCISE.finditer((repo / "docs" / "lessons.md").read_text()):
        number, title, task, solution = match.groups()
        name = re.search(r"exercises/([\w-]+)\.patch", solution)
        task, _, hint = task.partition("*Hint:*")
        hint = hint.strip()[:1].upper() + hint.strip()[1:]
        if name:
            found[name.group(1)] = (f"Exercise {number}: {title.rstrip('.')}", task, hint, solution)
    return found


def from_exercises(body, where):
    """The guide's HTML as seen from exercises/: its own pictures beside it,
    the guide's anchors on their pages, other files of docs/ in guide/."""
    def link(match):
        attribute, target = match.groups()
        path, _, anchor = target.partition("#")
        if re.match(r"[a-z]+:|\.\./", target):
            return match.group(0)
        if not path:
            return f'{attribute}="../guide/{where.get(anchor, "lessons")}.html#{anchor}"'
        return f'{attribute}="{path[len("exercises/"):] if path.startswith("exercises/") else "../guide/" + target}"'
    return re.sub(r'\b(href|src)="([^"]*)"', link, body)


def solution_pages(repo, out):
    """A page for each exercise's solution, docs/exercises/NAME.patch, whose
    program the build has put in exercises/NAME.js: the exercise's task
    first, its hint and its solution folded (the patch coloured), then the
    solution running in the state of the guide's picture of it, after its
    patch's Keys.  Returns the names."""
    guide = (repo / "docs" / "lessons.md").read_text()
    exercises = guide_exercises(repo)
    pages, _ = guide_pages.site_pages(repo)
    where = {anchor: name for name, _, body in pages for anchor in re.findall(r' id="([^"]+)"', body)}
    names = []
    for patch in sorted((repo / "docs" / "exercises").glob("*.patch")):
        name = patch.stem
        if not (out / "exercises" / f"{name}.js").is_file():
            fail(f"the build made no program exercises/{name}.js for {patch.name}.")
        if name not in exercises:
            fail(f"the guide has no exercise whose solution names {patch.name}.")
        heading, task, hint, solution = exercises[name]
        words = patch.read_text().split("\ndiff --git ", 1)[0]
        program = re.search(r"^Program: *(velmor\d+) *$", words, flags=re.M).group(1)
        keys = re.search(r"^Keys: *(.*)$", words, flags=re.M)
        # What the picture shows: the words the guide gives its picture.
        alt = re.search(r"!\[([^\]]+)\]\(exercises/" + re.escape(name) + r"\.png\)", guide)
        picture = alt.group(1) if alt else heading
        title = f"{heading}: the solution"
        # The patches change what a lesson draws, not the keys it takes.
        controls = lesson_controls(repo, program)
        shutil.copy(patch, out / "exercises" / patch.name)
        shutil.copy(patch.with_suffix(".png"), out / "exercises" / f"{name}.png")
        (out / "exercises" / f"{name}-bare.html").write_text(
            bare_page(name, title, picture, controls, up="../", needs=webgl_for(repo, program)))
        task, hint, solution = (from_exercises(guide_pages.render(repo, text, for_print=False)[0], where)
                                for text in (task, hint, solution))
        diff = highlight(patch.read_text(), DiffLexer(), HtmlFormatter(wrapcode=True))
        after, start = "", ""
        if keys:
            after = (f"<p>It starts as the guide's picture of it, after the keys "
                     f"{html.escape(repeated(keys.group(1).split()))}.</p>\n")
            start = "#keys=" + ",".join(keys.group(1).split())
        buttons = key_buttons(f"frame-{name}", controls) if controls else ""
        chapter = where.get(f"exercises-for-lesson-{program[len('velmor'):]}", "lessons")
        body = f"""<p class="crumbs"><a href="../index.html">All lessons</a> \u00b7 <a href="../guide/{chapter}.html">Its chapter in the guide</a></p>
<main class="prose">
<h1>{html.escape(heading)}</h1>
<section class="task" aria-label="The task">{task}</section>
<details class="hint"><summary>Hint</summary>{hint}</details>
<details class="solution"><summary>Solution</summary>{solution}
<h2>The patch: <a href="{patch.name}"><code>{patch.name}</code></a></h2>
{diff}</details>
<section class="running">
<h2>The solution running: <code>{program}</code> with the patch</h2>
{after}<iframe id="frame-{name}" src="{name}-bare.html{start}" width="500" height="500" title="{html.escape(picture)}"></iframe>
{buttons}
</section>
</main>"""
        (out / "exercises" / f"{name}.html").write_text(
            page(title, body, ["../style.css", "../highlight.css"], ["../site.js"] if controls else []))
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
    search = repo / "web" / "node_modules" / "minisearch" / "dist" / "umd" / "index.js"
    if not search.is_file():
        fail("MiniSearch, the guide's search, is missing: run scripts/setup --web "
             "(or npm ci --prefix web).")
    shutil.copy(search, out / "minisearch.js")
    (out / "highlight.css").write_text(highlight_css())
    solutions = solution_pages(repo, out)
    chapters, pdf = guide_page(repo, out, solutions)
    (out / "source").mkdir(exist_ok=True)
    for name in core_files:
        (out / "source" / f"{name}.html").parent.mkdir(parents=True, exist_ok=True)
        (out / "source" / f"{name}.html").write_text(
            source_page(repo / "core" / name, "../" * (name.count("/") + 1)))
    # A header the core includes from the browser's own room (its OpenGL,
    # web/modern/) has its page too, so that every include can be read.
    texts = [(repo / "core" / name).read_text() for name in core_files]
    texts += [(repo / "lessons" / f"{lesson}.cpp").read_text() for lesson in lessons]
    for name in sorted({n for text in texts for n in re.findall(r'^#include "([\w.]+)"', text, flags=re.M)}
                       - set(core_files)):
        if (repo / "web" / "modern" / name).is_file():
            (out / "source" / f"{name}.html").write_text(
                source_page(repo / "web" / "modern" / name, "../"))

    sections = []
    for lesson in lessons:
        source = repo / "lessons" / f"{lesson}.cpp"
        title, needs, adds = listed[lesson]
        controls = lesson_controls(repo, lesson)
        if "expression" in needs:
            own_page = function_page(
                lesson, title, webgl_for(repo, lesson), control_attributes(controls))
        else:
            own_page = bare_page(lesson, title, f"{title}: {adds}", controls,
                                 needs=webgl_for(repo, lesson))
        (out / f"{lesson}.html").write_text(own_page)
        live = ""
        if "gl33" in needs:
            (out / f"{lesson}-shaders.html").write_text(shader_page(repo, lesson, own_page))
            live = f'\n · <a href="{lesson}-shaders.html">Edit its shaders live</a>'
        (out / "source" / f"{lesson}.cpp.html").write_text(source_page(source, "../"))
        number = re.sub(r"\D", "", lesson)
        chapter = f"guide/{chapters.get(number, 'lessons')}.html"
        keys = "\n" + key_buttons(f"frame-{lesson}", controls) if controls else ""
        sections.append(f"""<section id="{lesson}">
<h2>{html.escape(title)}</h2>
<p>{html.escape(adds[:1].upper() + adds[1:], quote=False)}.</p>
<iframe id="frame-{lesson}" src="{lesson}.html" width="500" height="500" title="{html.escape(title)}"></iframe>{keys}
<p class="links"><a href="source/{lesson}.cpp.html">Source: <code>lessons/{lesson}.cpp</code></a>
 · <a href="{chapter}">Its chapter in the guide</a>{live}</p>
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
