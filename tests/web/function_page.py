#!/usr/bin/env python3
"""Lesson 9's page in headless Chromium: the box, the address's function
and markup given as a function.

    function_page.py SITE_DIR

serves SITE_DIR (the built site) on 127.0.0.1 for the browser.  Exits 1
with one line on stderr at the first check that fails.
"""
import random
import sys
import urllib.parse

from page import Browser, canvas_shot, check, fail, serve, wait_until

if len(sys.argv) != 2:
    fail("usage: function_page.py SITE_DIR")

SITE, server = serve(sys.argv[1])


def open_lesson(browser, query=""):
    browser.open(f"{SITE}/velmor9.html{query}")
    wait_until(lambda: browser.evaluate("document.documentElement.dataset.function") == "ready", 30,
               "the page's box never took the function of the address.")


def text(browser, element):
    return browser.evaluate(f"document.getElementById('{element}').textContent")


def submit(browser, function):
    browser.evaluate(f"document.getElementById('function').value = {function!r};"
                     "document.getElementById('function-controls').requestSubmit()")


# Where the controls sit against the canvas: left, top, right, bottom of each.
PLACES = """['canvas', 'function-controls'].map(id => {
  const r = document.getElementById(id).getBoundingClientRect(); return [r.left, r.top, r.right, r.bottom]; })"""


def on_phone():
    """PLACES on a phone, and on index.html there the bottom of the
    function's box in lesson 9's tile against the tile's height."""
    layout = Browser(360, 740, phone=True)
    try:
        open_lesson(layout)
        places = layout.evaluate(PLACES)
        layout.open(f"{SITE}/index.html")
        tile = "document.getElementById('frame-velmor9')"
        wait_until(lambda: layout.evaluate(f"{tile}.contentDocument.documentElement.dataset.function") == "ready",
                   30, "lesson 9's tile on index.html never started.")
        return places, layout.evaluate(f"[{tile}.contentDocument.getElementById('function')"
                                       f".getBoundingClientRect().bottom, {tile}.clientHeight]")
    finally:
        layout.close()


browser = Browser(840, 520)
try:
    # Without an address the form holds what the lesson drew, as the
    # program tells it: Enter on it draws the very same picture.
    open_lesson(browser)
    start = canvas_shot(browser)
    submit(browser, browser.evaluate("document.getElementById('function').value"))
    check(browser.evaluate("document.getElementById('function-message').dataset.failed") == "no"
          and canvas_shot(browser) == start, "the form did not start from the lesson's own function and grid.")

    # A teacher's link opens with its function; the key gives its range.
    open_lesson(browser, "?f=" + urllib.parse.quote("sin(x)*cos(y)"))
    check(browser.evaluate("document.getElementById('function').value") == "sin(x)*cos(y)",
          "the box does not hold the address's function.")
    check(text(browser, "key-highest") == "0.997584" and text(browser, "key-lowest") == "-0.997584",
          f"the key says {text(browser, 'key-lowest')} to {text(browser, 'key-highest')} "
          "for sin(x)*cos(y).")
    first = canvas_shot(browser)

    # Keys typed in the box do not reach the camera or the depth test.
    browser.evaluate("document.getElementById('function').focus()")
    browser.press(["Right", "Up", "d"])
    check(canvas_shot(browser) == first, "keys typed in the box changed the picture.")

    # A malformed function is told beside the box; the surface stays.
    submit(browser, "sin(x")
    said = text(browser, "function-message")
    check("at column 6" in said and "cannot be plotted" in said,
          f"a malformed function was answered with: {said!r}")
    check(canvas_shot(browser) == first, "a malformed function changed the picture.")

    # With the picture focused, the arrow keys turn the camera.
    browser.evaluate("document.getElementById('canvas').focus()")
    browser.press(["Right"])
    check(canvas_shot(browser) != first, "the arrow key did not turn the camera with the picture focused.")

    # Enter draws a new function, and the key follows it.
    submit(browser, "x * y")
    check(text(browser, "key-lowest") == "-25" and text(browser, "key-highest") == "25",
          f"the key says {text(browser, 'key-lowest')} to {text(browser, 'key-highest')} for x * y.")

    # Every grid the page offers draws, the finest right after a fine one,
    # and says so only when it did.
    for cells in (250, int(browser.evaluate("document.getElementById('cells').max"))):
        browser.evaluate(f"document.getElementById('cells').value = {cells}")
        submit(browser, "x * y")
        said = text(browser, "function-message")
        check(browser.evaluate("document.getElementById('function-message').dataset.failed") == "no"
              and browser.evaluate("document.documentElement.dataset.state") == "running",
              f"a grid of {cells} cells was answered with: {said!r}")

    # A program that stops while drawing says so, and draws nothing more
    # that could be called a success.
    browser.evaluate("window.ccall = Module.ccall; Module.ccall = () => { throw new Error('stopped'); }")
    submit(browser, "x + y")
    said = text(browser, "function-message")
    browser.evaluate("Module.ccall = window.ccall")
    submit(browser, "x - y")
    check("reload the page" in said and "reload the page" in text(browser, "function-message"),
          f"a stopped program's page said {said!r}, then {text(browser, 'function-message')!r}.")

    # Markup in the address is shown as text, never made into elements or run.
    markup = "<img src=x onerror=\"document.title='run'\"><b>bold</b>"
    open_lesson(browser, "?f=" + urllib.parse.quote(markup))
    check(browser.evaluate("document.querySelectorAll('img, b').length") == 0,
          "markup given as the function became part of the page.")
    check(browser.evaluate("document.getElementById('function').value") == markup,
          "the box does not show the markup as it was given.")
    said = text(browser, "function-message")
    check("cannot be plotted" in said, f"markup as a function was answered with: {said!r}")
    check(browser.evaluate("document.title") == "9. Your own function",
          "markup given as the function ran as script.")
    check(text(browser, "key-highest") == "8",
          f"beside the lesson's own bump the key says {text(browser, 'key-highest')!r} at the top.")

    # One click draws a function the guide calls hard: log(x) loses cells.
    browser.evaluate("document.querySelector('[data-function=\"log(x)\"]').click()")
    check("cells are left out" in text(browser, "function-message"),
          f"the log(x) button was answered with: {text(browser, 'function-message')!r}")
    check(browser.evaluate("document.documentElement.dataset.state") == "running",
          "the lesson stopped after markup was given as the function.")

    # The address as an attacker or a careless link writes it: whatever it
    # holds, a success is said only for the very text of the address on a
    # grid the page offers.
    most = int(browser.evaluate("document.getElementById('cells').max"))
    texts = ["x%00y", "x%0Ay", "%1B]0;T%07", "%E2%82%AC" * 600, "x" * 1001, "1e-400*x", "max(x,y,1)",
             "-x^2", "%FF", "%"]
    numbers = ["4294967297", "1e10", "-1", "0", "1.5", "0x10", " 20", "NaN", "", str(most + 1)]
    generator = random.Random(26)
    addresses = [f"?f={t}" for t in texts] + [f"?f=x&cells={n}" for n in numbers] + [
        "?f=" + urllib.parse.quote("".join(generator.choice("xy+-*/^(),.e9 \0\x7f") for _ in range(12)))
        + f"&cells={generator.choice(numbers)}" for _ in range(10)]
    for address in addresses:
        open_lesson(browser, address)
        asked = urllib.parse.parse_qs(address[1:], keep_blank_values=True)
        said = text(browser, "function-message")
        if browser.evaluate("document.getElementById('function-message').dataset.failed") == "no":
            function, cells = asked["f"][0], asked.get("cells", [str(most)])[0].strip()
            check(function.isprintable() and len(function) <= 1000 and cells.isdigit()
                  and 1 <= int(cells) <= most, f"{address[:60]} was drawn: {said!r}")
        else:
            check("\x1b" not in said and "\x07" not in said, f"{address[:60]} was echoed raw: {said!r}")
    browser.errors = [e for e in browser.errors if "cannot be plotted" not in e]

    browser.evaluate("0")
    check(not browser.errors, f"console errors: {browser.errors}")

    # Wide enough, the controls stand beside the whole canvas; on a phone
    # the canvas shrinks to the screen and the controls follow below it,
    # as wide as the screen and no wider.
    (canvas, controls) = browser.evaluate(PLACES)
    check(canvas == [0, 0, 500, 500] and controls[0] >= 500 and controls[1] < 500,
          f"at 840 px the canvas is at {canvas} and the controls at {controls}.")
    (canvas, controls), (box, tile) = on_phone()
    check(box <= tile, f"the function's box in lesson 9's tile ends at {box} px, below the tile's {tile}.")
    check(canvas == [0, 0, 360, 360] and controls[1] >= 360 and controls[0] == 0
          and controls[2] == 360, f"at 360 px the canvas is at {canvas} and the controls at {controls}.")
finally:
    browser.close()
    server.shutdown()
print("velmor9.html: the box, the address's function and markup as text all behave;"
      " the controls sit beside the picture at 840 px and below it at 360 px;"
      " lesson 9's tile on index.html shows its box.")
