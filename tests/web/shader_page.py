#!/usr/bin/env python3
"""The pages of lessons 8 and 9 with their shaders live, in headless
Chromium: a broken shader, a changed one, Reset, the address, a paste too
long, a lost WebGL context and a frame too slow, markup in the address,
and the exercises' Check against the solution drawn live.

    shader_page.py SITE_DIR

Exits 1 with one line on stderr at the first check that fails.
"""
import pathlib
import re
import sys
import urllib.parse

from page import Browser, canvas_shot, check, fail, serve, wait_until

if len(sys.argv) != 2:
    fail("usage: shader_page.py SITE_DIR")
SITE, server = serve(sys.argv[1])
FRAGMENT = 1


def value(browser, expression):
    return browser.evaluate(expression)


def open_page(browser, lesson, query=""):
    """Opens the page (unless query is None: it is opening already) and
    waits for its editor."""
    if query is not None:
        browser.open(f"{SITE}/{lesson}-shaders.html{query}")
    wait_until(lambda: value(browser, "document.documentElement.dataset.shaderEditor") == "ready", 30,
               f"{lesson}'s shader editor never started.")


def builds(browser):
    return int(value(browser, "document.documentElement.dataset.shaderBuilds || 0"))


def edit(browser, text, which=FRAGMENT, built=True):
    """Puts text into an editor as typing would, and waits for the build
    the pause after it starts (if built)."""
    before = builds(browser)
    browser.evaluate(f"document.getElementById('shaders').edit({which}, {text!r})")
    if not built:
        return
    wait_until(lambda: builds(browser) != before, 10, "no build followed an edit.", every=0.05)


def said(browser):
    return value(browser, "[document.getElementById('shader-message').textContent,"
                          " document.getElementById('shader-log').textContent]")


def editor_text(browser, which=FRAGMENT):
    return value(browser, f"document.getElementById('shaders').text({which})")


browser = Browser(1100, 900)
try:
    # The lesson's own shaders, without the version line, draw its picture.
    open_page(browser, "velmor8")
    own = editor_text(browser)
    check(own.startswith("in vec3 shade;") and "#version" not in own,
          f"the fragment editor starts with {own[:40]!r}.")
    first = canvas_shot(browser)
    browser.open(f"{SITE}/velmor8.html")
    check(canvas_shot(browser) == first, "the page with the editor draws otherwise than velmor8.html.")
    open_page(browser, "velmor8")

    # A mistake on one line is named with that line and marked there; the
    # last program keeps drawing.
    lines = own.rstrip("\n").split("\n")
    at = lines.index("void main()") + 2
    broken = lines[:at] + ["    undeclaredThing = 1.0;"] + lines[at:]
    edit(browser, "\n".join(broken))
    sentence, log = said(browser)
    check(sentence.startswith("The fragment shader does not compile")
          and f"fragment shader, line {at + 1}:" in log,
          f"a mistake on line {at + 1} was told as {sentence!r} / {log!r}.")
    marked = value(browser, "document.querySelectorAll('.cm-lint-marker-error').length")
    check(marked == 1, f"{marked} lines are marked for one mistake.")
    check(canvas_shot(browser) == first, "a shader that does not compile changed the picture.")

    # An empty shader is told, and the picture stays.
    edit(browser, "  \n")
    check(said(browser)[0].startswith("The fragment shader is empty"),
          f"an empty shader was told as {said(browser)!r}.")

    # A shader that works draws at once, and the address keeps it.
    inverted = own.replace("vec4(shade, 1.0)", "vec4(vec3(1.0) - shade, 1.0)")
    edit(browser, inverted)
    check(value(browser, "document.documentElement.dataset.shaders") == "drawn",
          f"a working shader was refused: {said(browser)!r}.")
    changed = canvas_shot(browser)
    check(changed != first, "a working, different shader did not change the picture.")
    address = value(browser, "location.search")
    check(urllib.parse.parse_qs(address[1:]).get("fragment") == [inverted] and "vertex=" not in address,
          f"the address holds {address[:80]!r}.")
    open_page(browser, "velmor8", address)
    check(editor_text(browser) == inverted and canvas_shot(browser) == changed,
          "the address does not give back the edited shader and its picture.")

    # A megabyte pasted is refused whole, with a sentence.
    edit(browser, "x" * 1_000_000, built=False)
    check("the change is refused" in said(browser)[0] and editor_text(browser) == inverted,
          f"a pasted megabyte was answered with {said(browser)[0]!r}.")

    # Reset gives back the lesson's shaders, picture and address.
    browser.evaluate("document.getElementById('shader-reset').click()")
    check(canvas_shot(browser) == first and value(browser, "location.search") == "",
          "Reset did not give back the lesson's picture and address.")

    # A frame too slow (an endless loop would stall the browser's graphics
    # for good; the page calls a frame stuck after 0.2 s here, not 5) and
    # a lost WebGL context: each is told with the focus on Reset, which
    # starts the lesson again with its own shaders.
    slow = own.replace("vec4(shade, 1.0)", "vec4(shade * slow(shade.g), 1.0)").replace(
        "void main()", "float slow(float s)\n{\n    for (int i = 0; i < 10000; i++) {\n"
        "        s = fract(s * 1.1 + 0.3);\n    }\n    return 1.0 + s;\n}\n\nvoid main()")
    for trouble, told in ((f"document.getElementById('shaders').edit({FRAGMENT}, {slow!r})", "not finished one frame"),
                          ("Module.ctx.getExtension('WEBGL_lose_context').loseContext()", "took WebGL back")):
        open_page(browser, "velmor8", "?fragment=" + urllib.parse.quote(inverted))
        browser.evaluate("document.documentElement.dataset.stuckSeconds = '0.2'; " + trouble)
        wait_until(lambda: told in said(browser)[0], 20,
                   lambda: f"after {trouble[:30]!r} the page said {said(browser)!r}.")
        check(value(browser, "document.activeElement.id") == "shader-reset", f"{told}: Reset has no focus.")
        browser.evaluate("document.getElementById('shader-reset').click()")
        # The page is replaced: the lost or stuck one until it goes.
        wait_until(lambda: all(state.endswith("=running") for state in browser.call("ready")), 40,
                   f"Reset after {told!r} did not start the lesson again.")
        open_page(browser, "velmor8", None)
        check(value(browser, "location.search") == "" and editor_text(browser) == own,
              f"Reset after {told!r} did not start the lesson again with its own shaders.")

    # Markup in the address stays text, in the editor and the log.
    markup = "<img src=x onerror=\"document.title='run'\"><b>bold</b>"
    open_page(browser, "velmor8", "?vertex=" + urllib.parse.quote(markup))
    check(value(browser, "document.querySelectorAll('#shaders img, #shaders b').length") == 0
          and value(browser, "document.title").startswith("8."),
          "markup given as a shader became part of the page.")
    check(said(browser)[0].startswith("The vertex shader does not compile"),
          f"markup as a shader was told as {said(browser)!r}.")

    # Lesson 9: its function box still draws with edited shaders.
    open_page(browser, "velmor9")
    own9 = editor_text(browser)
    edit(browser, own9.replace("viridis(height)", "viridis(1.0 - height)"))
    check(value(browser, "document.documentElement.dataset.shaders") == "drawn",
          f"lesson 9's edited shader was refused: {said(browser)!r}.")
    edited = canvas_shot(browser)
    browser.evaluate("document.getElementById('function').value = 'x * y';"
                     "document.getElementById('function-controls').requestSubmit()")
    check(value(browser, "document.getElementById('function-message').dataset.failed") == "no"
          and canvas_shot(browser) != edited, "lesson 9's function box stopped drawing with edited shaders.")

    # Check: the solution's program, drawn beside, matches the solution's
    # shaders (from its patched copy, which the site's build leaves beside
    # the site) and not the lesson's own.  On the page exercise 8.2 is done
    # in the shaders alone, as its hint there says: the eye from the view,
    # the grid by its black.
    def verdict(name):
        exercise = "document.querySelector('.exercise:not([hidden]) .verdict')"
        browser.evaluate(f"{exercise}.dataset.matches = '';"
                         "document.querySelector('.exercise:not([hidden]) .check').click()")
        wait_until(lambda: value(browser, f"{exercise}.dataset.matches") in ("yes", "no"), 60,
                   f"Check gave no verdict on {name}.")
        return value(browser, f"{exercise}.textContent")

    on_page = {"uniform vec3 eye;\nuniform float highlight;\n": "uniform mat4 view;\n",
               "    vec3 n = ": "    vec3 eye = inverse(view)[3].xyz;\n"
                               "    float highlight = colour == vec3(0.0) ? 0.0 : 0.6;\n    vec3 n = "}
    copies = pathlib.Path(sys.argv[1]).parent / "exercises"
    for name in ("velmor8-light-per-pixel", "velmor8-highlight", "velmor9-contours", "velmor9-bands"):
        program = name.split("-")[0]
        open_page(browser, program, f"?exercise={name}")
        check(verdict(name).startswith("Your picture does not match"), f"{name}: the lesson's own shaders pass.")
        source = (copies / name / "lessons" / f"{program}.cpp").read_text()
        for which, shader in enumerate(("VERTEX_SHADER", "FRAGMENT_SHADER")):
            text = re.search(shader + r' = R"\(\n(.*?)\)";', source, re.S).group(1)
            if "uniform vec3 eye;" in text:
                for given, typed in on_page.items():
                    text = text.replace(given, typed)
            edit(browser, text, which)
        said_now = verdict(name)
        check(said_now.startswith("Your picture matches"), f"{name}: the solution's shaders were told {said_now!r}")

    browser.errors = [e for e in browser.errors if "does not compile" not in e]
    browser.evaluate("0")
    check(not browser.errors, f"console errors: {browser.errors}")
finally:
    browser.close()
    server.shutdown()
print("velmor8-shaders.html and velmor9-shaders.html: a broken shader is told with its line, "
      "a working one draws and round-trips through the address, Reset and the paste limit hold;"
      " a lost context and a stuck frame are told, and Check tells each solution from the lesson's own.")
