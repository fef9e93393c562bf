// Drives one browser for the web edition's tests: Chromium and Firefox
// through puppeteer-core (DevTools and WebDriver BiDi), WebKitGTK through
// selenium-webdriver and WebKitWebDriver.  page.py speaks to it:
//
//   node driver.mjs ENGINE WIDTH HEIGHT [--phone] [--no-webgl | --no-webgl2]
//
// ENGINE is chromium, firefox or webkit.  Each line on stdin is one call,
// {"do": NAME, "with": [ARG...]}, answered by one line on stdout,
// {"value": ...} or {"fail": SENTENCE}, with the console's errors since
// the last answer in "errors".  The calls:
//
//   open URL            navigates, waits until every lesson on the page has
//                       drawn (or failed); the lessons' states
//   ready               waits for that again, after the page reloaded itself
//   evaluate EXPR       the value of EXPR (statements too), awaited
//   press NAME...       keys (xdotool names) and gestures: drag:DX,DY,
//                       touch:DX,DY, wheel:NOTCHES, pinch:FACTOR, hold:MS (one
//                       finger held still for MS milliseconds)
//   shot [CLIP]         a PNG, base64: the viewport, or CLIP {x,y,width,height}
//   scheme light|dark   the reader's colour scheme, on the open page (Chromium, Firefox)
//   phone [W H]         the open page on a phone's W x H screen (two pixels to
//                       the CSS pixel), or back on the window's, without a
//                       reload
//
// Chromium runs headless with SwiftShader's WebGL, as the pictures were
// always taken; Firefox and WebKitGTK run in a private Xvfb with Mesa.
import { spawn } from "node:child_process";
import { createInterface } from "node:readline";
import { createServer } from "node:net";
import puppeteer from "puppeteer-core";
import { Builder, Capabilities, Key, Origin } from "selenium-webdriver";

// Seconds for the page to load and every lesson on it to draw once.
const LOAD_TIMEOUT = 60;
// A screen larger than any page the tests ask for, for Xvfb.
const SCREEN = "1600x1200x24";
const MINIBROWSER = "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser";

// The lessons' states on the page (lesson.js sets them on each <html>).
const STATES = `(() => {
  if (document.readyState !== 'complete') return null;
  const docs = [document];
  for (const frame of document.querySelectorAll('iframe')) docs.push(frame.contentDocument);
  return docs.filter(d => d && d.documentElement.dataset.lesson)
             .map(d => d.documentElement.dataset.lesson + '=' + (d.documentElement.dataset.state || 'loading'));
})()`;
// Resolves after enough animation frames for the lesson to have handled
// every key and drawn what they asked for.
const SETTLE = "new Promise(r => { let n = 10; const f = () => --n ? requestAnimationFrame(f) : r(0); f(); })";
// What an xdotool key name is to the browser; a letter or digit stands for itself.
const KEYS = { Left: "ArrowLeft", Up: "ArrowUp", Right: "ArrowRight", Down: "ArrowDown",
               Escape: "Escape", plus: "+", minus: "-" };
const SELENIUM_KEYS = { ArrowLeft: "LEFT", ArrowUp: "UP", ArrowRight: "RIGHT", ArrowDown: "DOWN",
                        Escape: "ESCAPE" };
const CENTRE = "(r => [r.left + r.width / 2, r.top + r.height / 2])" +
               "(document.getElementById('canvas').getBoundingClientRect())";
// Steps a drag or pinch is sent in, as a hand moves.
const STEPS = 10;

const [engine, width, height, ...options] = process.argv.slice(2);
const size = { width: Number(width), height: Number(height) };
const phone = options.includes("--phone");
const webgl = options.includes("--no-webgl") ? 0 : options.includes("--no-webgl2") ? 1 : 2;
const errors = [];
const sleep = ms => new Promise(r => setTimeout(r, ms));
// Runs EXPR, statements too, and gives its value once any promise settles.
const wrapped = expr => `Promise.resolve((0, eval)(${JSON.stringify(expr)}))`;

// A private X display for the engines that draw into a window: its number.
async function xvfb(cleanup) {
    const server = spawn("Xvfb", ["-displayfd", "3", "-screen", "0", SCREEN, "-nolisten", "tcp"],
                         { stdio: ["ignore", "ignore", "ignore", "pipe"] });
    cleanup.push(() => server.kill());
    return new Promise((resolve, reject) => {
        server.on("error", () => reject(new Error("Xvfb is missing: install the Debian package xvfb.")));
        server.stdio[3].on("data", data => resolve(":" + String(data).trim()));
    });
}

// puppeteer's page: Chromium over DevTools, Firefox over WebDriver BiDi.
async function puppeteerPage(cleanup) {
    const chromium = engine === "chromium";
    const env = { ...process.env };
    if (!chromium)
        env.DISPLAY = await xvfb(cleanup);
    const args = chromium
        ? ["--headless=new", "--no-sandbox", "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
           "--hide-scrollbars", "--disable-background-networking", "--disable-component-update",
           "--disable-sync", "--no-first-run", "--disable-quic",
           ...(webgl === 0 ? ["--disable-webgl"] : webgl === 1 ? ["--disable-webgl2"] : [])]
        : [`--width=${size.width}`, `--height=${size.height}`];
    const browser = await puppeteer.launch({
        browser: chromium ? "chrome" : "firefox",
        executablePath: chromium ? "/usr/bin/chromium" : "/usr/bin/firefox-esr",
        headless: chromium ? true : false, pipe: chromium, args, env,
        defaultViewport: null,
        extraPrefsFirefox: { "webgl.disabled": webgl === 0, "webgl.enable-webgl2": webgl === 2,
                             "webgl.force-enabled": webgl > 0 },
    });
    cleanup.unshift(() => browser.close());
    const page = (await browser.pages())[0] || (await browser.newPage());
    page.on("console", m => { if (m.type() === "error" || m.type() === "assert") errors.push(m.text()); });
    page.on("pageerror", e => errors.push(String(e.message || e)));
    // A phone's screen has two pixels to the CSS pixel; Chromium also
    // takes touches (puppeteer's Firefox does not emulate a phone further).
    await page.setViewport({ ...size, deviceScaleFactor: phone ? 2 : 1,
                             ...(chromium ? { isMobile: phone, hasTouch: true } : {}) });
    return {
        goto: url => page.goto(url),
        evaluate: expr => page.evaluate(wrapped(expr)),
        key: async name => page.keyboard.press(name),
        async drag(x, y, dx, dy) {
            await page.mouse.move(x, y);
            await page.mouse.down();
            await page.mouse.move(x + dx, y + dy, { steps: STEPS });
            await page.mouse.up();
        },
        wheel: (x, y, deltaY) => page.mouse.move(x, y).then(() => page.mouse.wheel({ deltaY })),
        async touch(points) {
            // points: one list of fingers' places per step, the first touched
            // down, the last lifted.
            const session = await page.createCDPSession();
            const send = (type, at) => session.send("Input.dispatchTouchEvent",
                { type, touchPoints: at.map(([x, y], id) => ({ x, y, id })) });
            await send("touchStart", points[0]);
            for (const at of points.slice(1)) await send("touchMove", at);
            await send("touchEnd", []);
            await session.detach();
        },
        async hold(x, y, ms) {
            const session = await page.createCDPSession();
            await session.send("Input.dispatchTouchEvent", { type: "touchStart", touchPoints: [{ x, y, id: 0 }] });
            await sleep(ms);
            await session.send("Input.dispatchTouchEvent", { type: "touchEnd", touchPoints: [] });
            await session.detach();
        },
        shot: clip => page.screenshot({ encoding: "base64", ...(clip ? { clip } : {}) }),
        scheme: value => page.emulateMediaFeatures([{ name: "prefers-color-scheme", value }]),
        // In Chromium DevTools' own call: puppeteer's setViewport reloads
        // the page when it turns a phone's emulation on or off.
        phone(width, height) {
            const view = width ? { width, height, deviceScaleFactor: 2, mobile: true }
                               : { ...size, deviceScaleFactor: phone ? 2 : 1, mobile: phone };
            return chromium ? page._client().send("Emulation.setDeviceMetricsOverride", view) : page.setViewport(view);
        },
    };
}

// selenium's session with WebKitWebDriver and MiniBrowser, WebKitGTK's own.
async function webkitPage(cleanup) {
    process.env.DISPLAY = await xvfb(cleanup);
    const settings = webgl === 0 ? ["--enable-webgl=false"] : [];
    const caps = new Capabilities({ browserName: "MiniBrowser",
        "webkitgtk:browserOptions": { binary: MINIBROWSER, args: ["--automation", ...settings] } });
    // A free port for WebKitWebDriver, which says nothing once it listens.
    const port = await new Promise(resolve => {
        const probe = createServer().listen(0, "127.0.0.1", () => {
            const { port } = probe.address();
            probe.close(() => resolve(port));
        });
    });
    const driverProcess = spawn("WebKitWebDriver", [`--port=${port}`], { stdio: "ignore" });
    cleanup.push(() => driverProcess.kill());
    driverProcess.on("error", () => {});
    for (let tries = 0; ; ++tries) {
        if (driverProcess.exitCode !== null || tries === 100)
            throw new Error("WebKitWebDriver did not start: install the Debian package webkit2gtk-driver.");
        if (await fetch(`http://127.0.0.1:${port}/status`).then(() => true, () => false)) break;
        await sleep(100);
    }
    const driver = await new Builder().usingServer(`http://127.0.0.1:${port}`).withCapabilities(caps).build();
    cleanup.unshift(() => driver.quit());
    await driver.manage().setTimeouts({ script: LOAD_TIMEOUT * 1000 });
    // WebKitWebDriver does not pass the console on: the page's errors are
    // kept by a hook set as the page loads, and read in the same script as
    // the call's value (a second script could meet a page already unloading,
    // as after a click that reloads it).
    const hook = `if (!window.__errors) { window.__errors = [];
        const keep = e => window.__errors.push(String(e && (e.message || e.reason || e)));
        addEventListener('error', keep); addEventListener('unhandledrejection', keep);
        const said = console.error.bind(console);
        console.error = (...a) => { window.__errors.push(a.join(' ')); said(...a); }; }`;
    const run = expr => driver.executeAsyncScript(
        `const done = arguments[arguments.length - 1]; ${hook};
         const kept = () => window.__errors.splice(0);
         ${wrapped(expr)}.then(v => done({ v, kept: kept() }), e => done({ e: String(e), kept: kept() }));`)
        .then(r => { errors.push(...r.kept); if ("e" in r) throw new Error(r.e); return r.v; });
    // The window's frame takes some of its size: it is grown by that much.
    const rect = await driver.manage().window().getRect();
    const [innerWidth, innerHeight] = await run("[innerWidth, innerHeight]");
    const resize = (width = size.width, height = size.height) => driver.manage().window().setRect(
        { width: width + rect.width - innerWidth, height: height + rect.height - innerHeight });
    await resize();
    const actions = () => driver.actions({ async: true });
    return {
        goto: url => driver.get(url),
        evaluate: run,
        key(name) {
            const key = Key[SELENIUM_KEYS[name]] || name;
            return actions().keyDown(key).keyUp(key).perform();
        },
        async drag(x, y, dx, dy) {
            let chain = actions().move({ x: Math.round(x), y: Math.round(y), origin: Origin.VIEWPORT }).press();
            for (let step = 1; step <= STEPS; ++step)
                chain = chain.move({ x: Math.round(x + dx * step / STEPS), y: Math.round(y + dy * step / STEPS),
                                     origin: Origin.VIEWPORT });
            await chain.release().perform();
        },
        wheel: (x, y, deltaY) => actions().scroll(Math.round(x), Math.round(y), 0, deltaY).perform(),
        // MiniBrowser's window keeps 447 px at least: page.py measures a
        // phone's width in a frame then.
        phone: resize,
        touch: () => { throw new Error("touch is not driven in WebKitGTK, which has no touch screen here."); },
        hold: () => { throw new Error("touch is not driven in WebKitGTK, which has no touch screen here."); },
        async shot(clip) {
            const picture = await driver.takeScreenshot();
            if (!clip) return picture;
            // Cut from the viewport's picture by the caller's clip.
            return run(`new Promise(done => { const img = new Image(); img.onload = () => {
                const c = document.createElement('canvas'); c.width = ${clip.width}; c.height = ${clip.height};
                c.getContext('2d').drawImage(img, ${-clip.x}, ${-clip.y});
                done(c.toDataURL('image/png').split(',')[1]); };
                img.src = 'data:image/png;base64,${picture}'; })`);
        },
    };
}

async function main() {
    const cleanup = [];
    let page;
    const answer = reply => process.stdout.write(JSON.stringify({ ...reply, errors: errors.splice(0) }) + "\n");
    try {
        page = engine === "webkit" ? await webkitPage(cleanup) : await puppeteerPage(cleanup);
    } catch (e) {
        answer({ fail: `${engine} did not start: ${e.message}` });
        for (const step of cleanup) await Promise.resolve().then(step).catch(() => {});
        process.exit(1);
    }
    const calls = {
        async open(url) {
            await page.goto(url);
            return calls.ready(url);
        },
        // Waits until every lesson on the page has drawn or failed; while
        // the page is still being replaced, its states cannot be read yet.
        async ready(url = "the page") {
            const deadline = Date.now() + LOAD_TIMEOUT * 1000;
            let states;
            while (Date.now() < deadline) {
                states = await page.evaluate(STATES).catch(() => null);
                if (states && !states.some(s => s.endsWith("=loading"))) return states;
                await sleep(100);
            }
            throw new Error(`${url}: not every lesson drew a frame within ${LOAD_TIMEOUT} s: ${states}`);
        },
        evaluate: expr => page.evaluate(expr),
        async press(...names) {
            for (const name of names) {
                const [kind, amount = ""] = name.split(":");
                const [x, y] = await page.evaluate(CENTRE);
                const [a, b] = amount.split(",").map(Number);
                if (kind === "drag") await page.drag(x, y, a, b);
                else if (kind === "hold") await page.hold(x, y, a);
                else if (kind === "touch")
                    await page.touch([...Array(STEPS + 1).keys()].map(s => [[x + a * s / STEPS, y + b * s / STEPS]]));
                else if (kind === "wheel" && amount.includes("/")) {
                    // The parts of a notch, as a fine wheel or a touchpad
                    // sends them: the browsers' own wheel events come in
                    // whole notches, so these are made in the page.
                    const [notches, parts] = amount.split("/").map(Number);
                    await page.evaluate(`for (let i = 0; i < ${Math.abs(notches) * parts}; ++i) {
                      const e = new MouseEvent('mousewheel', {bubbles: true, cancelable: true, clientX: ${x}, clientY: ${y}});
                      Object.defineProperty(e, 'wheelDelta', {value: ${Math.trunc(120 / parts) * Math.sign(notches)}});
                      document.getElementById('canvas').dispatchEvent(e);
                    }`);
                } else if (kind === "wheel")
                    // A notch as a mouse's wheel gives it.
                    for (let n = 0; n < Math.abs(a); ++n) await page.wheel(x, y, a > 0 ? -100 : 100);
                else if (kind === "pinch")
                    await page.touch([...Array(STEPS + 1).keys()].map(s => {
                        const half = 50 * a ** (s / STEPS);
                        return [[x - half, y], [x + half, y]];
                    }));
                else if (KEYS[name] || /^[a-z0-9]$/i.test(name)) await page.key(KEYS[name] || name);
                else throw new Error(`no key or gesture '${name}'.`);
            }
            return page.evaluate(SETTLE);
        },
        shot: clip => page.shot(clip),
        scheme: value => page.scheme(value),
        phone: (width, height) => page.phone(width, height),
    };
    for await (const line of createInterface({ input: process.stdin })) {
        const { do: name, with: args = [] } = JSON.parse(line);
        try {
            if (!calls[name]) throw new Error(`no call '${name}'.`);
            answer({ value: (await calls[name](...args)) ?? null });
        } catch (e) {
            answer({ fail: String(e.message || e) });
        }
    }
    for (const step of cleanup) await Promise.resolve().then(step).catch(() => {});
}

main();
