"""The page of a lesson drawn with buffers and shaders (lessons 8 and 9)
with its shaders beside it, live: velmorN-shaders.html.  It is the
lesson's own page (bare_page or function_page) with the editor after the
canvas, beside it where the screen has room and below it where it does
not (web/site/shaders.css); the site's shaders.js, bundled with CodeMirror
at build time from web/editor/shaders.js, runs it.  The shaders' text is
not in the page: the running program hands it over.

Everything the learner types, or the address carries, stays data: the
script puts it into the editors and the messages as text, never markup.
"""
import html
import re

import markdown

# An exercise of the guide: its number, title, task and hint, and the
# patch of its solution.
# Each part stays within one exercise: (?:(?!\*\*Exercise ).)*? never runs
# on into the next one's text.
WITHIN = r"((?:(?!\*\*Exercise ).)*?)"
EXERCISE = re.compile(r"\*\*Exercise (\d+\.\d+): ([^*]+?)\*\* " + WITHIN + r"\*Hint:\*\s+" + WITHIN + r"\n\n"
                      r"<details><summary>Solution</summary>\n\nThe patch: \[([a-z0-9-]+)\.patch\]",
                      re.S)


def prologue(repo):
    """The version line that the browser's build puts in front of every
    shader (web/modern/glplatform.h), which the editor leaves out."""
    header = (repo / "web" / "modern" / "glplatform.h").read_text()
    return re.search(r'SHADER_PROLOGUE = "(#version [^\\]*)\\n', header).group(1)


def tolerance(repo):
    """The comparer's close tolerance for pictures of the lessons drawn
    with shaders (harness/harness.h), as the page's Check applies it."""
    header = (repo / "harness" / "harness.h").read_text()
    number = {name: re.search(rf"constexpr int {name} = (\d+);", header).group(1)
              for name in ("TOLERATED_CHANNEL_PERCENT", "TOLERATED_CLOSE_SHARE_PER_MILLE")}
    return (f'data-channel-percent="{number["TOLERATED_CHANNEL_PERCENT"]}" '
            f'data-share-per-mille="{number["TOLERATED_CLOSE_SHARE_PER_MILLE"]}"')


def exercises(repo, lesson):
    """A section for each of the lesson's exercises that its shaders
    alone can do, hidden until the address names it (?exercise=NAME): the
    task, the hint folded, and Check against the solution drawn live."""
    sections = []
    guide = (repo / "docs" / "lessons.md").read_text()
    for number, title, task, hint, name in EXERCISE.findall(guide):
        if not name.startswith(lesson + "-"):
            continue
        inline = lambda text: markdown.markdown(" ".join(text.split()))  # noqa: E731
        # A solution that also feeds its shaders new uniforms from C++,
        # which this page cannot change, is done here from the shaders'.
        patch = (repo / "docs" / "exercises" / f"{name}.patch").read_text()
        if "+    glUniform" in patch or "= glGetUniformLocation" in patch.split("+", 1)[-1]:
            hint += (" On this page only the shaders change: the eye is where the view puts"
                     " the origin, `inverse(view)[3].xyz`, and the grid is the part drawn"
                     " in black, `colour == vec3(0.0)`.")
        # The keys the solution's picture is taken after, for Check to
        # press in both programs.
        keys = re.search(r"^Keys: *(.*)$", patch.split("\ndiff --git ", 1)[0], re.M)
        keys = html.escape(keys.group(1).strip()) if keys else ""
        sections.append(f"""<section class="exercise" data-exercise="{name}" data-keys="{keys}" hidden>
<h2>Exercise {number}: {html.escape(title.rstrip("."))}</h2>
{inline(task)}
<details><summary>Hint</summary>{inline(hint)}</details>
<p><button type="button" class="check">Check</button> draws the solution with its own program
and your shaders with the lesson, from the same camera, and compares the two pictures.</p>
<p class="verdict" role="status" aria-live="polite"></p>
<div class="solution-drawn"></div>
<canvas class="difference" width="500" height="500" hidden
  aria-label="Where your picture and the solution's differ, in red"></canvas>
</section>""")
    return "\n".join(sections)


def shader_panel(repo, lesson):
    version = html.escape(prologue(repo))
    return f"""<section id="shaders" aria-labelledby="shaders-heading" {tolerance(repo)}>
{exercises(repo, lesson)}
<h2 id="shaders-heading">Its shaders, live</h2>
<p>Change them: a moment after you stop typing, the lesson draws with them, from the same camera.
The page puts <code>{version}</code> and the floats' precision in front of each.</p>
<h3 id="vertex-heading">Vertex shader</h3>
<div id="vertex-editor" class="editor"></div>
<h3 id="fragment-heading">Fragment shader</h3>
<div id="fragment-editor" class="editor"></div>
<p id="shader-message" role="status" aria-live="polite"></p>
<pre id="shader-log" hidden></pre>
<p><button type="button" id="shader-reset">Reset to the lesson's own shaders</button></p>
</section>
"""


def shader_page(repo, lesson, lesson_page):
    """lesson_page, the HTML of lesson's own page, with the editor after
    its canvas, its style and its script."""
    for mark in ("<noscript>", "</head>", '<script src="'):
        if mark not in lesson_page:
            raise ValueError(f"the lesson's page has no {mark} to put the editor by")
    text = lesson_page.replace("<noscript>", shader_panel(repo, lesson) + "<noscript>", 1)
    text = text.replace("</head>", '<link rel="stylesheet" href="shaders.css">\n</head>', 1)
    return text.replace('<script src="', '<script src="shaders.js"></script>\n<script src="', 1)
