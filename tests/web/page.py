#!/usr/bin/env python3
"""Opens a page of the web edition in a browser and reports on it.

    page.py [--engine E] shot URL OUT.png [KEY...] [+ URL OUT.png [KEY...]]... [--fits URL...]
                               the 500 x 500 picture once every lesson on
                               the page has drawn its first frame and
                               taken the KEYs (xdotool names: Right, d, ...);
                               after each +, another picture in the same
                               browser; then fits on the --fits URLs
    page.py [--engine E] check URL... [--no-webgl | --no-webgl2]
                               each page's lessons' states, its <h2>
                               titles and every error in the browser's
                               console, in one browser with WebGL (or
                               WebGL 2) turned off if asked
    page.py time URL [FRAMES] [--read-pixel]
                               navigation to the first finished frame, and
                               the median time of FRAMES more frames (ms);
                               --read-pixel ends each frame by reading one
                               pixel back instead of gl.finish, which
                               waits for the drawing to be done for sure
    page.py [--engine E] fits URL...
                               at 360 x 740, as on a phone: fails if a page
                               (or a lesson's picture) is wider than that
    page.py [--engine E] lose URL...
                               each lesson's page with its WebGL context
                               lost: it says so and offers a button that
                               starts the lesson again, which does
    page.py reach URL...       on one load of each page, axe-core's checks
                               of levels A and AA, with the page light and
                               dark (fails on any violation, naming each),
                               then fits on a phone's screen (Chromium)
    page.py search URL         on a page of the guide, searches for a
                               word of each page's text that is in no
                               title: fails unless it finds that page

E is chromium (the default), firefox or webkit; driver.mjs drives them.
A KEY of shot may also be a gesture on the middle of the page's canvas:
drag:DX,DY with the mouse's left button, touch:DX,DY with one finger,
wheel:NOTCHES[/PARTS] (negative: towards the user), each notch sent in
PARTS wheel events, and pinch:FACTOR, two fingers spread by FACTOR.
Exits 1 with one line on stderr when the page fails: a lesson that did
not start, or an error logged.
"""
import base64
import functools
import http.server
import json
import os
import re
import subprocess
import sys
import threading
import time

# Seconds for the browser to close once asked.
CLOSE_TIMEOUT = 60
DRIVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "driver.mjs")
ENGINE = "chromium"

# FRAMES redraws one after another, each timed from the start of the
# display callback to the end of the GPU's work (gl.finish, or the read of
# one pixel, which cannot return before the pixel is drawn).
FINISH = "Module.ctx.finish()"
READ_PIXEL = "Module.ctx.readPixels(0, 0, 1, 1, Module.ctx.RGBA, Module.ctx.UNSIGNED_BYTE, new Uint8Array(4))"
FRAME_TIMES = """new Promise(resolve => {
  const times = [];
  let start = 0;
  Module.preMainLoop = () => { start = performance.now(); };
  Module.postMainLoop = () => {
    %s;
    times.push(performance.now() - start);
    if (times.length < %d) { Module._glutPostRedisplay(); return; }
    times.sort((a, b) => a - b);
    resolve(times[times.length >> 1]);
  };
  Module._glutPostRedisplay();
})"""


def fail(message):
    print("page.py: " + message, file=sys.stderr)
    sys.exit(1)


def serve(directory):
    """Serves directory on 127.0.0.1 from a thread, quietly; its address
    and the server, to shut down."""
    class Quiet(http.server.SimpleHTTPRequestHandler):
        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer(
        ("127.0.0.1", 0), functools.partial(Quiet, directory=directory))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return f"http://127.0.0.1:{server.server_address[1]}", server


def check(condition, what):
    if not condition:
        fail(what)


def wait_until(done, seconds, what, every=0.1):
    """Asks done() every `every` seconds until it holds; fails with what
    (or what(), for a sentence of the page's state then) once seconds
    have passed."""
    deadline = time.monotonic() + seconds
    while not done():
        if time.monotonic() > deadline:
            fail(what() if callable(what) else what)
        time.sleep(every)


def canvas_shot(browser):
    """The 500 x 500 canvas at a bare page's top left, two frames on."""
    browser.evaluate("new Promise(r => requestAnimationFrame(() => requestAnimationFrame(r)))")
    return browser.shot({"x": 0, "y": 0, "width": 500, "height": 500})


class Browser:
    """One browser of ENGINE, driven by driver.mjs; phone: a phone's screen."""

    def __init__(self, width, height, flags=(), phone=False, engine=None):
        self.engine = engine or ENGINE
        command = ["node", DRIVER, self.engine, str(width), str(height), *flags]
        if phone:
            command.append("--phone")
        self.process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        text=True)
        self.errors = []

    def close(self):
        self.process.stdin.close()
        try:
            self.process.wait(timeout=CLOSE_TIMEOUT)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()

    def call(self, name, *args):
        """One call of driver.mjs (see there), its value; fails the test on its failure."""
        self.process.stdin.write(json.dumps({"do": name, "with": args}) + "\n")
        self.process.stdin.flush()
        line = self.process.stdout.readline()
        if not line:
            fail(f"the {self.engine} driver stopped (run: node {DRIVER} {self.engine} 500 500).")
        reply = json.loads(line)
        self.errors += reply["errors"]
        if "fail" in reply:
            fail(f"{self.engine}: {name}: {reply['fail']}; console errors: {self.errors}")
        return reply["value"]

    def evaluate(self, expression):
        """The value of expression (statements too) in the page, once any promise settles."""
        return self.call("evaluate", expression)

    def press(self, names):
        """Types the keys and makes the gestures, as a learner's hands would."""
        self.call("press", *names)

    def shot(self, clip=None):
        """The viewport's picture (or CLIP's), PNG in base64."""
        return self.call("shot", *([clip] if clip else []))

    def open(self, url):
        """Navigates to url and waits until every lesson on it has drawn."""
        return self.call("open", url)


# Where the lesson's picture is on its page: the canvas, without the
# scroll bar a browser may draw beside it or, as WebKitGTK does on a page
# taller than its window (lessons 9, 10), over it: hidden, then two frames
# drawn, without which WebKitGTK's picture now and then still held it.
CANVAS = """(document.documentElement.style.overflow = 'hidden',
  new Promise(drawn => requestAnimationFrame(() => requestAnimationFrame(drawn))).then(() =>
  (r => ({x: r.left, y: r.top, width: r.width, height: r.height}))
  (document.getElementById('canvas').getBoundingClientRect())))"""
# The page's width and its widest element, at least the canvas; the
# frames' pages are checked on their own.
WIDTHS = """[document.documentElement.scrollWidth, innerWidth,
  ...[...document.querySelectorAll('canvas, iframe')].map(e => Math.ceil(e.getBoundingClientRect().right))]"""
# A phone's screen, in CSS pixels.
PHONE = (360, 740)
# WIDTHS of the page laid out in a frame of a phone's size, for an engine
# whose window does not shrink to one (WebKitWebDriver's MiniBrowser keeps
# 447 px on Xvfb): taken once its own lesson, if any, has started, not
# those of its frames (sized by its style), and the frame removed.
IN_PHONE_FRAME = """new Promise(done => {
  const frame = document.createElement('iframe');
  frame.style.cssText = 'position: fixed; left: 0; top: 0; border: 0; width: %dpx; height: %dpx';
  const started = d => d && d.readyState === 'complete' && (!d.documentElement.dataset.lesson ||
    !['loading', undefined].includes(d.documentElement.dataset.state));
  const look = tries => {
    if (!started(frame.contentDocument) && tries) return setTimeout(() => look(tries - 1), 100);
    done(frame.contentWindow.eval(%s));
    frame.remove();
  };
  frame.onload = () => look(600);
  frame.src = location.href;
  document.body.appendChild(frame);
})"""
AXE_LEVELS = ["wcag2a", "wcag2aa", "wcag21a", "wcag21aa", "wcag22a", "wcag22aa"]
AXE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "node_modules", "axe-core", "axe.min.js")


@functools.cache
def axe_address():
    if not os.path.isfile(AXE):
        fail(f"axe-core is missing ({AXE}): run scripts/setup --tests.")
    return serve(os.path.dirname(AXE))[0] + "/axe.min.js"


# Takes WebGL from the page's lesson, as a browser may at any time.
LOSE = "Module.ctx.getExtension('WEBGL_lose_context').loseContext()"
# What the page shows then: its state, its sentence, and what has the focus.
AFTER_LOSS = """[document.documentElement.dataset.state, document.getElementById('message').textContent,
  document.activeElement.id, document.getElementById('canvas').hidden]"""


def lose(browser, url):
    """lose on one page: what is wrong with it, if anything."""
    browser.open(url)
    browser.evaluate(LOSE)
    browser.press([])
    state, said, focused, hidden = browser.evaluate(AFTER_LOSS)
    print(f"{url}: after the loss, {state}: {said!r}")
    if state != "lost" or "start it again" not in said or focused != "start-again" or not hidden:
        return [f"{url}: a lost WebGL context left the state {state}, the message {said!r}, "
                f"the focus on {focused!r} and the picture {'hidden' if hidden else 'shown'}"]
    # Clicked once this call has returned: the click reloads the page, and
    # WebKit's driver fails a script whose page unloads before it answers.
    browser.evaluate("setTimeout(() => document.getElementById('start-again').click(), 0); "
                     "document.documentElement.dataset.state = 'loading'")
    states = browser.call("ready", url)
    return [f"{url}: started again: {s}" for s in states if not s.endswith("=running")]


def survey(browser, mode, url):
    """check, fits or reach on one page: what is wrong with it, if anything."""
    states = browser.open(url)
    problems = []
    if mode == "check":
        print("states: " + " ".join(states))
        # The page's own sentence, read from the page: WebKitGTK's
        # driver passes on no console line logged while the page loads.
        said = browser.evaluate("(m => m && !m.hidden ? m.textContent : '')"
                                "(document.getElementById('message'))")
        if said:
            print("message: " + said)
        for title in browser.evaluate("[...document.querySelectorAll('h2')].map(h => h.textContent)"):
            print("title: " + title)
    if mode == "reach":
        # By its address, which Chromium, having fetched it twice, compiles
        # no more (handed over as source, it was compiled in every page).
        browser.evaluate("new Promise((done, failed) => document.head.appendChild(Object.assign(document."
                         "createElement('script'), {src: %s, onload: e => done(e.target.remove()), onerror: failed})))"
                         % json.dumps(axe_address()))
        # Light, then dark on the same load; a bare lesson page has no
        # dark look (bare.css): it is looked at once.
        for scheme in ["light"] + ["dark"] * (not re.search(r"(/velmor\d+|-bare)\.html$", url)):
            browser.call("scheme", scheme)
            found = browser.evaluate(
                "axe.run(document, {runOnly: {type: 'tag', values: %s}, resultTypes: ['violations']}).then(r => r.violations.map("
                "v => v.id + ': ' + v.help + ' (' + v.nodes.map(n => n.target.join(' ')).join(', ') + ')'))"
                % json.dumps(AXE_LEVELS))
            print(f"{url} ({scheme}): {len(found)} violations")
            problems += [f"{url} ({scheme}): {violation}" for violation in found]
        # Then the same load on a phone's screen, for its fit.
        browser.call("phone", *PHONE)
    if mode in ("fits", "reach"):
        # A phone's browser widens its viewport to a page that does not
        # fit, so the page is measured against the screen's width.
        widths = browser.evaluate(WIDTHS)
        screen = PHONE[0]
        if widths[1] > screen:
            widths = browser.evaluate(IN_PHONE_FRAME % (*PHONE, json.dumps(WIDTHS)))
            if widths[1] != screen:
                problems.append(f"{url}: a frame of a phone's size is {widths[1]} px wide inside")
        print(f"{url}: scrollWidth, viewport and frames' and canvases' right edges {widths}")
        if max(widths) > screen:
            problems.append(f"{url} is wider than a {screen} px screen: {widths}")
    if mode == "reach":
        browser.call("phone")
    browser.evaluate("0")
    problems += [f"{url}: {s}" for s in states if not s.endswith("=running")]
    problems += [f"{url}: console error: {error}" for error in browser.errors]
    browser.errors = []
    return problems


# Each page of the guide's contents, and what searching for a word of its
# text finds (guide.js shows the results as links): the word in the fewest
# other pages, the longest of those, and in no page's title or heading, so
# that it is the text that is found.  Words are cut as MiniSearch cuts them.
SEARCH = """(async () => {
  const input = document.getElementById('search'), found = {}, pages = {}, titles = new Set();
  const words = text => text.toLowerCase().split(/[\\n\\r\\p{Z}\\p{P}]+/u).filter(w => /^[a-z]{4,}$/.test(w));
  for (const item of document.querySelectorAll('.contents li[data-page]')) {
    const html = await (await fetch(item.dataset.page + '.html')).text();
    const prose = new DOMParser().parseFromString(html, 'text/html').querySelector('main.prose');
    for (const aside of prose.querySelectorAll('h1, h2, h3, h4, nav, .place, .done')) {
      words(aside.textContent).forEach(w => titles.add(w));
      aside.remove();
    }
    pages[item.dataset.page] = new Set(words(prose.textContent));
  }
  for (const [name, text] of Object.entries(pages)) {
    const elsewhere = {};
    for (const w of text) elsewhere[w] = Object.keys(pages).filter(n => n !== name && pages[n].has(w)).length;
    const word = [...text].filter(w => !titles.has(w))
      .sort((a, b) => elsewhere[a] - elsewhere[b] || b.length - a.length || (a < b ? -1 : 1))[0];
    input.value = word;
    input.dispatchEvent(new Event('input'));
    found[name] = [word, [...document.querySelectorAll('#results a')].map(a => a.getAttribute('href'))];
  }
  return found;
})()"""


def search(url):
    """search on one page: what is wrong, if anything."""
    browser = Browser(1280, 900)
    try:
        browser.open(url)
        found = browser.evaluate(SEARCH)
    finally:
        browser.close()
    problems = [f"{url}: the search for '{word}' does not find the page {page}: {urls}"
                for page, (word, urls) in found.items()
                if not any(u.split("#")[0] == f"{page}.html" for u in urls)]
    if not found:
        problems.append(f"{url} has no contents to search for")
    for page, (word, urls) in found.items():
        print(f"{page}: '{word}' finds {len(urls)}, the first {urls[:1]}")
    return problems + [f"{url}: console error: {error}" for error in browser.errors]


def main():
    global ENGINE
    args = sys.argv[1:]
    if args[:1] == ["--engine"] and len(args) > 1:
        ENGINE, args = args[1], args[2:]
    modes = ("shot", "check", "time", "fits", "lose", "reach", "search")
    if len(args) < 2 or args[0] not in modes:
        fail("usage: page.py [--engine E] shot URL OUT.png [KEY...] [+ ...] | check URL... [FLAG]"
             " | time URL [FRAMES] [--read-pixel] | fits URL... | lose URL... | reach URL... | search URL")
    mode, url = args[0], args[1]
    if mode in ("check", "fits", "lose", "reach", "search"):
        problems = search(url) if mode == "search" else []
        flags = [a for a in args[1:] if a.startswith("--")]
        pages = [a for a in args[1:] if a not in flags]
        if mode != "search":
            browser = Browser(*PHONE, phone=True) if mode == "fits" else Browser(1280, 900, flags)
            look = lose if mode == "lose" else lambda browser, page: survey(browser, mode, page)
            try:
                problems += [problem for page in pages for problem in look(browser, page)]
            finally:
                browser.close()
        for problem in problems:
            print(problem)
        if problems:
            fail(f"{len(problems)} problems on {len(pages)} pages, the first: {problems[0]}")
        return
    # After the pictures, the pages that must fit a phone, in the same browser.
    fits = args[args.index("--fits") + 1:] if "--fits" in args else []
    browser = Browser(500, 500)
    try:
        if mode == "shot":
            # URL OUT.png KEY... once for each picture, between +s.
            states = []
            shots = " ".join(args[1:len(args) - len(fits) - bool(fits)]).split(" + ")
            for shot in shots:
                url, out, *keys = shot.split()
                states += browser.open(url)
                if keys:
                    browser.press(keys)
                with open(out, "wb") as picture:
                    picture.write(base64.b64decode(browser.shot(browser.evaluate(CANVAS))))
        else:
            states = browser.open(url)
            first = browser.evaluate("document.documentElement.dataset.firstFrameMs")
            options = args[2:]
            sync = READ_PIXEL if "--read-pixel" in options else FINISH
            counts = [int(o) for o in options if o.isdigit()]
            frames = counts[0] if counts else 100
            median = browser.evaluate(FRAME_TIMES % (sync, frames))
            print(f"first frame {first} ms, frame median {median:.2f} ms")
        # Let late messages arrive before judging the console.
        browser.evaluate("0")
        failed = [s for s in states if not s.endswith("=running")]
        for error in browser.errors:
            print("console error: " + error)
        if failed or browser.errors:
            fail(f"{url}: lessons not running: {failed}; {len(browser.errors)} console errors.")
        if fits:
            browser.call("phone", *PHONE)
            problems = [problem for page in fits for problem in survey(browser, "fits", page)]
            if problems:
                fail(f"{len(problems)} problems on a phone's screen, the first: {problems[0]}")
    finally:
        browser.close()


if __name__ == "__main__":
    main()
