// shaders.js - the editor beside lessons 8 and 9 on their pages
// (velmorN-shaders.html): the lesson's vertex and fragment shader, handed
// over by the running program, rebuilt and drawn with a moment after the
// learner stops typing.  Bundled with CodeMirror into the site's
// shaders.js when the site is built; loaded before lesson.js, so that its
// key filter comes before GLUT's.
import { EditorState } from '@codemirror/state';
import { EditorView, keymap, lineNumbers } from '@codemirror/view';
import { defaultKeymap, history, historyKeymap } from '@codemirror/commands';
import { StreamLanguage, syntaxHighlighting, defaultHighlightStyle } from '@codemirror/language';
import { shader } from '@codemirror/legacy-modes/mode/clike';
import { setDiagnostics, lintGutter } from '@codemirror/lint';

// Milliseconds without a keystroke before the shaders are built: long
// enough not to build every half-typed word, short enough to feel live.
const PAUSE = 300;
// The most characters a shader may have here.  The lessons' are under
// 2000; a text far longer is a paste gone wrong, and would also make the
// page's address too long to send.
const MAX_CHARACTERS = 20000;
const NAMES = ['vertex', 'fragment'];

const page = document.documentElement.dataset;
const panel = document.getElementById('shaders');
const message = document.getElementById('shader-message');
const driverLog = document.getElementById('shader-log');
const reset = document.getElementById('shader-reset');
const asked = new URLSearchParams(window.location.search);
// The lesson's own shaders, and the editors.
let own = ['', ''];
const editors = [];
let timer = 0;

// Everything shown is set as text: what the learner typed, or the address
// carried, is never markup.
function say(text, failed, log) {
  message.textContent = text;
  message.dataset.failed = failed ? 'yes' : 'no';
  driverLog.textContent = log || '';
  driverLog.hidden = !log;
}

// Keys typed into the editors are theirs, not the camera's: GLUT listens
// on the whole window, ahead of every element.
['keydown', 'keypress', 'keyup'].forEach(type => {
  window.addEventListener(type, event => {
    if (panel.contains(event.target)) event.stopImmediatePropagation();
  }, true);
});

// Refuses a change that would make a shader longer than MAX_CHARACTERS,
// with a sentence, leaving the text as it was.
function withinLimit(which) {
  return EditorState.transactionFilter.of(tr => {
    if (!tr.docChanged || tr.newDoc.length <= MAX_CHARACTERS) return tr;
    say(`That would make the ${NAMES[which]} shader ${tr.newDoc.length} characters long, and ` +
        `at most ${MAX_CHARACTERS} are taken: the change is refused.`, true);
    page.shaders = 'refused';
    return [];
  });
}

function makeEditor(which, text) {
  return new EditorView({
    parent: document.getElementById(`${NAMES[which]}-editor`),
    state: EditorState.create({
      doc: text,
      extensions: [
        // Long lines wrap and the editor grows with its text, so that no
        // part of it scrolls out of the keyboard's reach.
        lineNumbers(), EditorView.lineWrapping, history(), lintGutter(),
        keymap.of([...defaultKeymap, ...historyKeymap]),
        StreamLanguage.define(shader), syntaxHighlighting(defaultHighlightStyle),
        withinLimit(which),
        EditorView.contentAttributes.of({ 'aria-label': `The ${NAMES[which]} shader` }),
        EditorView.updateListener.of(update => {
          if (!update.docChanged) return;
          clearTimeout(timer);
          timer = setTimeout(build, PAUSE);
        }),
      ],
    }),
  });
}

// Marks the lines the driver names in the shader that failed.  Its log
// says "ERROR: 0:LINE:" (ANGLE, in Chromium and Firefox) or "0:LINE(COLUMN):"
// (Mesa); the page hands the shader over after a "#line 1", so the
// driver's LINE is the editor's line.
function markLines(which, log) {
  editors.forEach(editor => editor.dispatch(setDiagnostics(editor.state, [])));
  if (which < 0) return log;
  const doc = editors[which].state.doc;
  const marks = [];
  const shown = log.split('\n').map(line => {
    const found = /^\s*(?:ERROR:\s*|WARNING:\s*)?\d+:(\d+)(?:\(\d+\))?:\s*(.*)$/.exec(line);
    if (!found) return line;
    const number = Math.min(Math.max(Number(found[1]), 1), doc.lines);
    const at = doc.line(number);
    marks.push({ from: at.from, to: at.to, severity: 'error', message: found[2] });
    return `${NAMES[which]} shader, line ${number}: ${found[2]}`;
  });
  editors[which].dispatch(setDiagnostics(editors[which].state, marks));
  return shown.join('\n');
}

// The address holds each shader that differs from the lesson's own, so
// that it can be bookmarked or sent; the lesson's other settings stay.
function remember(texts) {
  const address = new URL(window.location.href);
  texts.forEach((text, which) => {
    if (text === own[which]) address.searchParams.delete(NAMES[which]);
    else address.searchParams.set(NAMES[which], text);
  });
  window.history.replaceState(null, '', address.href);
}

// Seconds the first frame drawn with new shaders may take before the page
// calls the picture stuck; the lessons' frames take milliseconds.  The
// page's tests set a shorter time (data-stuck-seconds), to see the page
// say so of a frame slow enough to end soon.
const STUCK_SECONDS = 5;
let watched = 0;

// A shader that loops for ever raises no error: the graphics driver works
// on its frame, and the picture stands still, until the browser takes
// WebGL back from the page (webglcontextlost, below) or, in some
// browsers, never.  So the page asks the driver to signal once the first
// frame with the new shaders is done, and says so if it is not in time.
function watchFirstFrame() {
  const gl = window.Module.ctx;
  const mine = ++watched;
  window.Module._glutPostRedisplay();
  // After GLUT's own callback of this frame.
  requestAnimationFrame(() => {
    const done = gl.fenceSync(gl.SYNC_GPU_COMMANDS_COMPLETE, 0);
    gl.flush();
    const began = performance.now();
    const limit = Number(page.stuckSeconds) || STUCK_SECONDS;
    const poll = () => {
      if (mine !== watched || gl.isContextLost() || page.state !== 'running') return;
      if (gl.getSyncParameter(done, gl.SYNC_STATUS) === gl.SIGNALED) {
        gl.deleteSync(done);
      } else if (performance.now() - began > limit * 1000) {
        page.state = 'stuck';
        say(`These shaders have not finished one frame in ${limit} seconds, so the ` +
            'picture stands still (a loop that never ends does that): Reset starts the lesson ' +
            'again with its own shaders.', true);
        reset.focus();
      } else {
        setTimeout(poll, 100);
      }
    };
    poll();
  });
}

// Builds the editors' shaders into the lesson's program; on failure the
// last program that linked keeps drawing.  The page counts the builds
// (data-shader-builds) and says how the last went (data-shaders), for
// its tests.
function build() {
  clearTimeout(timer);
  const texts = editors.map(editor => editor.state.doc.toString());
  remember(texts);
  const empty = texts.findIndex(text => !text.trim());
  let drawn = false;
  if (empty >= 0) {
    markLines(-1, '');
    say(`The ${NAMES[empty]} shader is empty, so there is nothing to build: write one, or ` +
        'Reset. The last shaders that worked keep drawing.', true);
  } else if (page.state !== 'running') {
    say('The lesson has stopped, so it cannot draw with these shaders: Reset, or reload the ' +
        'page.', true);
  } else {
    try {
      const bytes = texts.map(text => new TextEncoder().encode(text));
      drawn = window.Module.ccall('useShaders', 'number',
                                  ['array', 'number', 'array', 'number'],
                                  [bytes[0], bytes[0].length, bytes[1], bytes[1].length]) === 1;
      const log = window.Module.ccall('shaderLog', 'string', [], []);
      if (drawn) {
        markLines(-1, '');
        say('The lesson draws with these shaders.', false);
        watchFirstFrame();
      } else {
        // "its vertex shader does not compile:\nLOG", or "its vertex and
        // fragment shaders do not link ...:\nLOG", or one sentence.
        const [first, ...rest] = log.split('\n');
        const which = /^its (vertex|fragment) shader /.exec(first);
        const shown = markLines(which ? NAMES.indexOf(which[1]) : -1, rest.join('\n').trim());
        const sentence = first.replace(/^its /, 'The ').replace(/:$/, '');
        say(`${sentence}. The last shaders that worked keep drawing; Reset gives back the ` +
            "lesson's own.", true, shown);
      }
    } catch (error) {
      page.state = 'failed';
      say(`The lesson stopped while building these shaders (${error.message}): Reset, or ` +
          'reload the page.', true);
    }
  }
  page.shaders = drawn ? 'drawn' : 'refused';
  page.shaderBuilds = Number(page.shaderBuilds || 0) + 1;
}

function setText(which, text) {
  const editor = editors[which];
  editor.dispatch({ changes: { from: 0, to: editor.state.doc.length, insert: text } });
}

// The page's tests edit a shader as typing would, through the editor,
// and read what it holds.
panel.edit = (which, text) => setText(which, text);
panel.text = which => editors[which].state.doc.toString();

// Reset: the lesson's own shaders.  Once WebGL is lost, or the picture
// stuck, the page starts again without the address's shaders, which may
// be what lost or stuck it.
reset.addEventListener('click', () => {
  if (page.state === 'lost' || page.state === 'failed' || page.state === 'stuck') {
    const address = new URL(window.location.href);
    NAMES.forEach(name => address.searchParams.delete(name));
    window.location.replace(address.href);
    return;
  }
  NAMES.forEach((name, which) => setText(which, own[which]));
  build();
});

// A shader that loops for ever, or asks too much of the graphics driver,
// can make the browser take WebGL back from the page.
document.getElementById('canvas').addEventListener('webglcontextlost', () => {
  say('The browser took WebGL back from the page while it drew with these shaders (a loop ' +
      'that never ends does that): Reset starts the lesson again with its own shaders.', true);
  // After lesson.js's own offer to start again, which keeps the address's
  // shaders: Reset is the surer way back.
  setTimeout(() => reset.focus(), 0);
});

// ---- An exercise (?exercise=NAME): its task above the editors, and Check.

// The comparer's close tolerance (harness/harness.h, put on the page when
// the site is built): a pixel is off when a channel differs by more than
// CHANNEL_PERCENT of the full range, and a picture matches when at most
// SHARE_PER_MILLE of its pixels are off.
const CHANNEL_PERCENT = Number(panel.dataset.channelPercent);
const SHARE_PER_MILLE = Number(panel.dataset.sharePerMille);
const task = Array.from(panel.querySelectorAll('.exercise'))
  .find(section => section.dataset.exercise === asked.get('exercise'));

// The next frame of the lesson running in view (this page's window, or
// the solution's frame), read back as it is drawn: rows from the top.
function lessonPicture(view) {
  return new Promise(resolve => {
    view.Module._glutPostRedisplay();
    // After GLUT's own callback of this frame, before the page shows it.
    view.requestAnimationFrame(() => {
      const gl = view.Module.ctx;
      const width = gl.drawingBufferWidth;
      const height = gl.drawingBufferHeight;
      const rows = new Uint8Array(width * height * 4);
      gl.readPixels(0, 0, width, height, gl.RGBA, gl.UNSIGNED_BYTE, rows);
      const pixels = new Uint8ClampedArray(rows.length);
      for (let y = 0; y < height; y++) {
        pixels.set(rows.subarray((height - 1 - y) * width * 4, (height - y) * width * 4),
                   y * width * 4);
      }
      resolve(new ImageData(pixels, width, height));
    });
  });
}

// Seconds the solution's program has to start in its frame.
const SOLUTION_START_SECONDS = 30;

// The solution drawn live by its own program: the exercise's patch applied
// to the lesson when the site was built (exercises/NAME.js), shaders and
// all that feeds them, in a frame beside the task.  It starts as its
// picture in the guide is taken, from the start and after the patch's
// keys, which the frame's address names; nothing else turns it.
let solutionFrame = null;
let solutionLoaded = null;
async function solutionView(keys) {
  if (!solutionFrame) {
    solutionFrame = document.createElement('iframe');
    solutionFrame.className = 'solution';
    solutionFrame.title = "The solution's shaders, drawn by its own program";
    solutionFrame.width = 500;
    solutionFrame.height = 500;
    solutionFrame.tabIndex = -1;
    solutionLoaded = new Promise(resolve => solutionFrame.addEventListener('load', resolve));
    solutionFrame.src = `exercises/${task.dataset.exercise}-bare.html` +
      (keys.length ? `#keys=${keys.map(encodeURIComponent).join(',')}` : '');
    task.querySelector('.solution-drawn').append(solutionFrame);
  }
  await solutionLoaded;
  const began = performance.now();
  for (;;) {
    // A frame opened from the disk is another origin's, closed to the page.
    const inside = solutionFrame.contentDocument;
    if (!inside) {
      throw new Error("a page opened from the disk may not look into the solution's frame: " +
                      'open the site from a web server, as scripts/web --serve does');
    }
    const state = inside.documentElement.dataset.state;
    if (state === 'running') return solutionFrame.contentWindow;
    if (state === 'failed' || state === 'lost' ||
        performance.now() - began > SOLUTION_START_SECONDS * 1000) {
      throw new Error("the solution's program did not start in its frame: reload the page " +
                      'and press Check again');
    }
    await new Promise(resolve => setTimeout(resolve, 50));
  }
}

// Types keys into this page's lesson, as its buttons do, and resolves
// once GLUT has had them all: messages arrive in the order sent.
function press(keys) {
  return new Promise(resolve => {
    const last = event => {
      if (!(event.data && event.data.velmorKeysDone)) return;
      window.removeEventListener('message', last);
      resolve();
    };
    window.addEventListener('message', last);
    keys.forEach(key => window.postMessage({ velmorKey: key }, '*'));
    window.postMessage({ velmorKeysDone: true }, '*');
  });
}

// The comparer's rule, and its picture of the difference: the pixels off
// in red, the others the solution's, faded.
function compare(solution, mine, difference) {
  const out = difference.getContext('2d').createImageData(solution.width, solution.height);
  const a = solution.data;
  const b = mine.data;
  let off = 0;
  for (let i = 0; i < a.length; i += 4) {
    let differs = false;
    for (let c = 0; c < 3; c++) {
      if (100 * Math.abs(a[i + c] - b[i + c]) > CHANNEL_PERCENT * 255) differs = true;
      out.data[i + c] = 255 - Math.floor((255 - a[i + c]) / 4);
    }
    if (differs) {
      off += 1;
      out.data.set([255, 0, 0], i);
    }
    out.data[i + 3] = 255;
  }
  difference.getContext('2d').putImageData(out, 0, 0);
  const pixels = a.length / 4;
  return { off, pixels, allowed: Math.floor(pixels * SHARE_PER_MILLE / 1000) };
}

async function check() {
  const verdict = task.querySelector('.verdict');
  const difference = task.querySelector('.difference');
  const tell = (text, matches) => {
    verdict.textContent = text;
    verdict.dataset.matches = matches;
  };
  if (page.state !== 'running') {
    tell('The lesson has stopped, so there is no picture to check: Reset, or reload the page.', 'no');
    return;
  }
  try {
    // Both from the start, after the keys the solution's picture is taken
    // with; the learner's shaders keep drawing afterwards.
    const keys = (task.dataset.keys || '').split(' ').filter(Boolean);
    tell('Drawing the solution with its own program…', 'pending');
    const solution = await lessonPicture(await solutionView(keys));
    await press(['r', ...keys]);
    const mine = await lessonPicture(window);
    if (mine.width !== solution.width || mine.height !== solution.height) {
      tell(`The lesson draws ${mine.width} x ${mine.height} pixels and the solution ` +
           `${solution.width} x ${solution.height}, so they cannot be compared.`, 'no');
      return;
    }
    const { off, pixels, allowed } = compare(solution, mine, difference);
    const share = (100 * off / pixels).toFixed(2);
    const most = SHARE_PER_MILLE / 10;
    difference.hidden = false;
    if (off <= allowed) {
      tell(`Your picture matches the solution's: ${share}% of the pixels are off, and up to ` +
           `${most}% may be.`, 'yes');
    } else {
      tell(`Your picture does not match the solution's yet: ${share}% of the pixels are off, ` +
           `and at most ${most}% may be; the picture below marks them in red.`, 'no');
    }
  } catch (error) {
    tell(`The check could not draw the solution: ${error.message}.`, 'no');
  }
}

if (task) {
  task.hidden = false;
  task.querySelector('.check').addEventListener('click', check);
}

// Once the lesson runs: the editors, on the address's shaders if it has
// any, else on the lesson's own (its source's text after the line break
// that opens it).
function start() {
  own = [0, 1].map(which =>
    window.Module.ccall('lessonShader', 'string', ['number'], [which]).replace(/^\n/, ''));
  let changed = false;
  let refused = '';
  NAMES.forEach((name, which) => {
    let text = own[which];
    if (asked.has(name)) {
      const given = asked.get(name);
      if (given.length > MAX_CHARACTERS) {
        refused = `The address's ${name} shader is ${given.length} characters long, and at ` +
                  `most ${MAX_CHARACTERS} are taken: the lesson's own is shown instead.`;
      } else {
        text = given;
        changed = changed || text !== own[which];
      }
    }
    editors.push(makeEditor(which, text));
  });
  if (refused) {
    say(refused, true);
    remember(editors.map(editor => editor.state.doc.toString()));
  } else if (changed) {
    build();
  }
  page.shaderEditor = 'ready';
}

if (page.state === 'running') {
  start();
} else {
  new MutationObserver((changes, observer) => {
    if (page.state !== 'running') return;
    observer.disconnect();
    start();
  }).observe(document.documentElement, { attributes: true, attributeFilter: ['data-state'] });
}
