#!/usr/bin/env python3
"""Opens a page of the web edition in headless Chromium and reports on it.

    page.py shot URL OUT.png [KEY...]
                               the 500 x 500 picture once every lesson on
                               the page has drawn its first frame and
                               taken the KEYs (xdotool names: Right, d, ...)
    page.py check URL [FLAG...]  the lessons' states, the page's <h2>
                               titles and every error in the browser's
                               console; FLAGs go to Chromium
    page.py time URL [FRAMES] [--read-pixel]
                               navigation to the first finished frame, and
                               the median time of FRAMES more frames (ms);
                               --read-pixel ends each frame by reading one
                               pixel back instead of gl.finish, which
                               waits for the drawing to be done for sure

Chromium is driven over its DevTools pipe (file descriptors 3 and 4), so
that console messages arrive with their level and from every frame of the
page.  It runs with a fresh profile, SwiftShader's WebGL and no network
beyond the page's own 127.0.0.1 server.  Exits 1 with one line on stderr
when the page fails: a lesson that did not start, or an error logged.
"""
import base64
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

# Seconds for the page to load and every lesson on it to draw once.
LOAD_TIMEOUT = 60

# The lessons' states on the page (lesson.js sets them on each <html>).
STATES = """(() => {
  if (document.readyState !== 'complete') return [];
  const docs = [document];
  for (const frame of document.querySelectorAll('iframe')) docs.push(frame.contentDocument);
  return docs.filter(d => d && d.documentElement.dataset.lesson)
             .map(d => d.documentElement.dataset.lesson + '=' + (d.documentElement.dataset.state || 'loading'));
})()"""

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


# What a few xdotool key names are to the browser: the DOM key, and the
# key code that the GLUT of the web build reads.  A single letter or digit
# stands for itself.
KEY_CODES = {"Left": ("ArrowLeft", 37), "Up": ("ArrowUp", 38), "Right": ("ArrowRight", 39),
             "Down": ("ArrowDown", 40), "Escape": ("Escape", 27)}

# Resolves after enough animation frames for the lesson to have handled
# every key and drawn what they asked for.
SETTLE = "new Promise(r => { let n = 10; const f = () => --n ? requestAnimationFrame(f) : r(0); f(); })"


def fail(message):
    print("page.py: " + message, file=sys.stderr)
    sys.exit(1)


class Browser:
    def __init__(self, width, height, flags=()):
        self.profile = tempfile.mkdtemp(prefix="velmor-chromium.")
        to_browser_r, self.to_browser = os.pipe()
        self.from_browser, from_browser_w = os.pipe()
        # The browser reads commands on fd 3 and answers on fd 4.  The
        # pipes may already sit on 3 or 4, so they are copied out of the
        # way first (dup2 onto another number also makes them inheritable).
        def child_fds():
            read_end, write_end = os.dup(to_browser_r), os.dup(from_browser_w)
            os.dup2(read_end, 3)
            os.dup2(write_end, 4)
        command = [shutil.which("chromium") or "chromium", "--headless=new", "--no-sandbox",
                   "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
                   f"--window-size={width},{height}", "--hide-scrollbars",
                   f"--user-data-dir={self.profile}", "--remote-debugging-pipe",
                   "--disable-background-networking", "--disable-component-update",
                   "--disable-sync", "--no-first-run", "--disable-quic", *flags, "about:blank"]
        self.process = subprocess.Popen(command, preexec_fn=child_fds, close_fds=False,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_browser_r)
        os.close(from_browser_w)
        self.buffer = b""
        self.next_id = 0
        self.errors = []
        targets = self.send("Target.getTargets")["targetInfos"]
        page = next(t["targetId"] for t in targets if t["type"] == "page")
        self.session = self.send("Target.attachToTarget", targetId=page, flatten=True)["sessionId"]
        for domain in ("Runtime", "Log", "Page"):
            self.send(domain + ".enable", session=True)
        # The window's size is not quite the page's: set the page's.
        self.send("Emulation.setDeviceMetricsOverride", session=True, width=width,
                  height=height, deviceScaleFactor=1, mobile=False)

    def close(self):
        self.process.kill()
        self.process.wait()
        os.close(self.to_browser)
        os.close(self.from_browser)
        shutil.rmtree(self.profile, ignore_errors=True)

    def send(self, method, session=False, **params):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params}
        if session:
            message["sessionId"] = self.session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        while True:
            reply = self.receive()
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    fail(f"{method}: {reply['error'].get('message')}")
                return reply["result"]

    def receive(self):
        while b"\0" not in self.buffer:
            chunk = os.read(self.from_browser, 65536)
            if not chunk:
                fail("Chromium closed its DevTools pipe (did it start?).")
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        event = json.loads(message)
        self.note(event)
        return event

    def note(self, event):
        """Keeps every console error, uncaught exception and logged error."""
        method, params = event.get("method"), event.get("params", {})
        if method == "Runtime.consoleAPICalled" and params["type"] in ("error", "assert"):
            self.errors.append(" ".join(str(a.get("value", a.get("description", "")))
                                        for a in params["args"]))
        elif method == "Runtime.exceptionThrown":
            details = params["exceptionDetails"]
            self.errors.append(details.get("exception", {}).get("description", details["text"]))
        elif method == "Log.entryAdded" and params["entry"]["level"] == "error":
            self.errors.append(params["entry"]["text"])

    def evaluate(self, expression, wait=False):
        result = self.send("Runtime.evaluate", session=True, expression=expression,
                           returnByValue=True, awaitPromise=wait)
        if "exceptionDetails" in result:
            details = result["exceptionDetails"]
            fail("evaluating in the page failed: "
                 + details.get("exception", {}).get("description", details["text"]))
        return result["result"].get("value")

    def press(self, names):
        """Types the keys into the page, as a learner's keyboard would."""
        for name in names:
            if name in KEY_CODES:
                key, code = KEY_CODES[name]
            elif len(name) == 1 and name.isalnum():
                key, code = name, ord(name.upper())
            else:
                fail(f"no key code for the key name '{name}'.")
            for kind in ("keyDown", "keyUp"):
                self.send("Input.dispatchKeyEvent", session=True, type=kind, key=key,
                          windowsVirtualKeyCode=code, nativeVirtualKeyCode=code)
        self.evaluate(SETTLE, wait=True)

    def open(self, url):
        """Navigates to url and waits until every lesson on it has drawn."""
        self.send("Page.navigate", session=True, url=url)
        deadline = time.monotonic() + LOAD_TIMEOUT
        while time.monotonic() < deadline:
            time.sleep(0.1)
            states = self.evaluate(STATES) or []
            if states and not any(s.endswith("=loading") for s in states):
                return states
        fail(f"{url}: not every lesson drew a frame within {LOAD_TIMEOUT} s: {states}; "
             f"console errors: {self.errors}")


def main():
    if len(sys.argv) < 3 or sys.argv[1] not in ("shot", "check", "time"):
        fail("usage: page.py shot URL OUT.png [KEY...] | check URL [FLAG...] | time URL [FRAMES] [--read-pixel]")
    mode, url = sys.argv[1], sys.argv[2]
    browser = Browser(500, 500) if mode != "check" else Browser(1280, 900, sys.argv[3:])
    try:
        states = browser.open(url)
        if mode == "shot":
            if len(sys.argv) > 4:
                browser.press(sys.argv[4:])
            picture = browser.send("Page.captureScreenshot", session=True, format="png")
            with open(sys.argv[3], "wb") as out:
                out.write(base64.b64decode(picture["data"]))
        elif mode == "check":
            print("states: " + " ".join(states))
            titles = browser.evaluate("[...document.querySelectorAll('h2')].map(h => h.textContent)")
            for title in titles:
                print("title: " + title)
        else:
            first = browser.evaluate("document.documentElement.dataset.firstFrameMs")
            options = sys.argv[3:]
            sync = READ_PIXEL if "--read-pixel" in options else FINISH
            counts = [int(o) for o in options if o.isdigit()]
            frames = counts[0] if counts else 100
            median = browser.evaluate(FRAME_TIMES % (sync, frames), wait=True)
            print(f"first frame {first} ms, frame median {median:.2f} ms")
        # Let late messages arrive before judging the console.
        browser.evaluate("0")
        failed = [s for s in states if not s.endswith("=running")]
        for error in browser.errors:
            print("console error: " + error)
        if failed or browser.errors:
            fail(f"{url}: lessons not running: {failed}; {len(browser.errors)} console errors.")
    finally:
        browser.close()


if __name__ == "__main__":
    main()
