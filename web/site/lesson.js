// lesson.js - starts one lesson in its page: checks for WebGL, hands the
// canvas to the lesson's program, and puts on the page any reason the
// lesson could not start or stopped.  For a lesson that takes keys or the
// mouse it also turns touches into the mouse, wheel notches into whole
// clicks, and the site's buttons into keys.  Loaded by every velmorN.html
// before the lesson's own velmorN.js.
'use strict';

(function () {
  var canvas = document.getElementById('canvas');
  var lesson = document.documentElement.dataset.lesson;
  // The keys the page offers as buttons (data-keys="d r + - Left ...").
  var buttonKeys = (document.documentElement.dataset.keys || '').split(' ').filter(Boolean);
  // Whether the lesson takes the mouse (data-mouse): only then do the wheel
  // and the fingers on its picture belong to it rather than to the page.
  var takesMouse = 'mouse' in document.documentElement.dataset;
  // Whether it shows the value under the pointer (data-pick): then a tap
  // rests the pointer there, and a long press clicks, which pins it.
  var picks = 'pick' in document.documentElement.dataset;
  // A page shown in another's frame (a tile of index.html) says so, for
  // its style to fit what matters into the frame (function.css).
  if (window.parent !== window) document.documentElement.dataset.framed = '';

  // One notch of a mouse wheel, in the units of the browsers' wheel events:
  // wheelDelta (mousewheel) and 40 times the lines of DOMMouseScroll.
  var NOTCH = 120;
  var LINE = 40;
  // Fingers spread (or closed) by this factor make one wheel notch in (or
  // out): the camera comes about as much nearer as the fingers spread.
  var PINCH_NOTCH = 1.1;
  // A finger held this long without moving is a long press; one that
  // wanders no further than STILL pixels has not moved (a fingertip
  // rolls a little as it presses).
  var LONG_PRESS_MS = 500;
  var STILL = 10;
  // The DOM key codes that emscripten's GLUT reads for the keys of the
  // buttons; a letter is its capital's code.
  var KEY_CODES = { '+': 107, '-': 109, Left: 37, Up: 38, Right: 39, Down: 40 };
  // The patches' Keys lines name keys as the native snapshots send them
  // (xdotool's names): plus and minus are + and -.
  var KEY_NAMES = { plus: '+', minus: '-' };
  // A thousandth of a pixel, towards the side the coordinate is on, so
  // that cutting it to a whole pixel gives the same pixel.
  var MOVED_AGAIN = 0.001;
  function hair(coordinate) { return coordinate < 0 ? -MOVED_AGAIN : MOVED_AGAIN; }

  function say(text, failure) {
    var message = document.getElementById('message');
    message.textContent = text;
    message.hidden = false;
    if (failure) {
      document.documentElement.dataset.state = 'failed';
      console.error(lesson + ': ' + text);
    }
  }

  // Lessons 3 to 7 draw with WebGL 1; a lesson drawn with buffers and
  // shaders needs WebGL 2, which a browser may lack while it has WebGL 1.
  var webgl2 = document.documentElement.dataset.needs === 'webgl2';
  var NO_WEBGL = 'This lesson needs ' + (webgl2 ? 'WebGL 2' : 'WebGL') +
      ', which this browser does not offer or has turned off: turn on hardware ' +
      'acceleration or WebGL in its settings, or try another browser.';
  var noWebGL = !(webgl2 ? window.WebGL2RenderingContext : window.WebGLRenderingContext);
  if (noWebGL) {
    canvas.hidden = true;
    say(NO_WEBGL, true);
    return;
  }
  // The lesson's own context is the test: asking a second canvas first
  // would cost a start-up of WebGL, a good part of a second here.
  canvas.addEventListener('webglcontextcreationerror', function () {
    noWebGL = true;
    canvas.hidden = true;
    say(NO_WEBGL, true);
  });

  // A browser may take WebGL back from a page at any time (too many pages
  // drawing, the graphics driver restarted, a laptop woken up), and the
  // lesson's buffers and shaders go with it.  The lesson cannot draw on,
  // so the page says so, hides the stale picture and offers a fresh start.
  canvas.addEventListener('webglcontextlost', function () {
    canvas.hidden = true;
    document.documentElement.dataset.state = 'lost';
    say('The browser took WebGL back from this page, so the lesson cannot draw any more: ' +
        'start it again.', false);
    var again = document.createElement('button');
    again.type = 'button';
    again.id = 'start-again';
    again.textContent = 'Start the lesson again';
    again.addEventListener('click', function () {
      document.documentElement.dataset.state = 'loading';
      location.reload();
    });
    document.getElementById('message').append(' ', again);
    again.focus();
  });

  // Keys go to the page the canvas is in; clicking the lesson gives it them.
  // The focus then shows only once the keyboard has moved it (Tab): a ring
  // round the picture after every click or touch would only be in the way.
  canvas.addEventListener('mousedown', function () {
    canvas.classList.add('pointer');
    canvas.focus();
  });
  canvas.addEventListener('blur', function () { canvas.classList.remove('pointer'); });

  // GLUT listens on the window.  Its handlers are kept here and wrapped:
  var glut = {};
  var listen = window.addEventListener;
  window.addEventListener = function (type, handler, options) {
    var capture = options === true || !!(options && options.capture);
    if (/^touch/.test(type)) {
      // Its own touch handler would turn every finger of a pinch into a
      // drag; the touches are translated below instead.
      return undefined;
    }
    if (type === 'keydown' || type === 'keyup') {
      glut[type] = handler;
      // Tab moves the focus on, as on any page, and a key pressed on
      // something else of the page (a button, a link) is that thing's.
      return listen.call(window, type, function (event) {
        var focused = document.activeElement;
        if (event.key === 'Tab' || (focused && focused !== document.body && focused !== canvas)) return;
        handler(event);
      }, capture);
    }
    if (type === 'mousemove') {
      // GLUT hands the motion callback the pointer's previous position,
      // not the one it has moved to, so a drag would stop one event short
      // of the hand (the last step of every drag lost).  After each move
      // it is told of the same place again, a hair (MOVED_AGAIN) further
      // on, so that it reports the place itself; the hair is far below a
      // pixel and keeps the whole-pixel position the lesson gets.
      return listen.call(window, type, function (event) {
        handler(event);
        handler({ type: event.type, target: event.target, pageX: event.pageX + hair(event.pageX),
                  pageY: event.pageY + hair(event.pageY), shiftKey: event.shiftKey,
                  ctrlKey: event.ctrlKey, altKey: event.altKey, preventDefault: function () {} });
      }, capture);
    }
    if (type === 'mousewheel' || type === 'DOMMouseScroll') {
      glut.wheel = handler;
      // For a lesson that takes the mouse GLUT keeps the page from
      // scrolling, which a listener can only do when it says it is not
      // passive.
      return listen.call(window, type, wheel, { capture: capture, passive: false });
    }
    return listen.call(window, type, handler, options);
  };

  // GLUT clicks button 3 or 4 once for every wheel event, whatever its
  // size: a wheel that reports a notch in three events, or a touchpad's
  // stream of small ones, would move the camera three or twenty times as
  // far as a key does.  So the deltas are added up and GLUT sees one event
  // for each whole notch, the same one click that the desktop's freeglut
  // gives for a notch.
  var wheelSum = 0;
  function wheel(event) {
    if (!takesMouse || event.target !== canvas) return;
    event.preventDefault();
    var delta = event.type === 'DOMMouseScroll' ? -event.detail * LINE : event.wheelDelta;
    if (wheelSum * delta < 0) wheelSum = 0;
    wheelSum += delta;
    while (Math.abs(wheelSum) >= NOTCH) {
      var away = wheelSum > 0;
      wheelSum -= away ? NOTCH : -NOTCH;
      notch(away, event);
    }
  }
  // One notch, away from the user (in) or towards (out), at where the
  // pointer or the fingers are.  GLUT reads a mousewheel event's
  // wheelDelta the wrong way round (a notch away from the user would be
  // button 4, which the desktop's freeglut gives for a notch towards), so
  // the notch is handed over as a DOMMouseScroll, whose sign it reads
  // right: a detail of -3 lines is one notch away, 3 one towards.
  function notch(away, at) {
    if (!glut.wheel) return;
    glut.wheel({ type: 'DOMMouseScroll', detail: away ? -3 : 3, target: canvas,
                 pageX: at.pageX, pageY: at.pageY, clientX: at.clientX, clientY: at.clientY,
                 shiftKey: false, ctrlKey: false, altKey: false, preventDefault: function () {} });
  }

  // Touch: one finger is the left button held down and dragged; two
  // fingers pinch, as the wheel.  A pinch ends the drag, and no drag
  // starts again until every finger has left, so that lifting one finger
  // of a pinch does not turn the camera with a jump.  Nothing of this
  // scrolls or zooms the page (and the canvas's touch-action says so to
  // the browser before any script runs).
  var touch = { dragging: false, pinching: false, spread: 0, last: null, held: null };
  function mouse(type, at, buttons) {
    canvas.dispatchEvent(new MouseEvent(type, {
      bubbles: true, cancelable: true, view: window, button: 0,
      buttons: buttons !== undefined ? buttons : type === 'mouseup' ? 0 : 1,
      clientX: at.clientX, clientY: at.clientY, screenX: at.screenX, screenY: at.screenY }));
  }
  // For a lesson that picks, a finger first only rests (touch.held): it
  // becomes a drag once it moves, a click once held LONG_PRESS_MS, and a
  // tap (the pointer moved there, no button) if it leaves before either.
  function hold(finger) {
    var at = { clientX: finger.clientX, clientY: finger.clientY,
               screenX: finger.screenX, screenY: finger.screenY };
    touch.held = { at: at, timer: setTimeout(function () {
      touch.held.timer = null;
      mouse('mousedown', at);
      mouse('mouseup', at);
    }, LONG_PRESS_MS) };
  }
  function letGo(tapped) {
    if (!touch.held) return;
    if (touch.held.timer !== null) {
      clearTimeout(touch.held.timer);
      if (tapped) mouse('mousemove', touch.held.at, 0);
    }
    touch.held = null;
  }
  function spreadOf(touches) {
    return Math.hypot(touches[0].clientX - touches[1].clientX, touches[0].clientY - touches[1].clientY);
  }
  function onTouch(event) {
    event.preventDefault();
    var fingers = event.targetTouches;
    if (picks && fingers.length === 1 && !touch.pinching && !touch.dragging) {
      if (!touch.held) {
        hold(fingers[0]);
        return;
      }
      var start = touch.held.at;
      if (touch.held.timer === null || Math.hypot(fingers[0].clientX - start.clientX,
                                                  fingers[0].clientY - start.clientY) <= STILL) {
        return;
      }
      letGo(false);
      touch.dragging = true;
      mouse('mousedown', start);
      mouse('mousemove', fingers[0]);
      touch.last = fingers[0];
      return;
    }
    letGo(event.type === 'touchend' && fingers.length === 0);
    if (fingers.length === 1 && !touch.pinching) {
      if (!touch.dragging) {
        touch.dragging = true;
        mouse('mousedown', fingers[0]);
      } else {
        mouse('mousemove', fingers[0]);
      }
      touch.last = fingers[0];
      return;
    }
    if (touch.dragging) {
      touch.dragging = false;
      mouse('mouseup', touch.last);
    }
    if (fingers.length >= 2) {
      var spread = spreadOf(fingers);
      if (!touch.pinching || !touch.spread) {
        touch.pinching = true;
        touch.spread = spread;
        return;
      }
      var middle = { pageX: (fingers[0].pageX + fingers[1].pageX) / 2,
                     pageY: (fingers[0].pageY + fingers[1].pageY) / 2,
                     clientX: (fingers[0].clientX + fingers[1].clientX) / 2,
                     clientY: (fingers[0].clientY + fingers[1].clientY) / 2 };
      while (spread >= touch.spread * PINCH_NOTCH) {
        touch.spread *= PINCH_NOTCH;
        notch(true, middle);
      }
      while (spread <= touch.spread / PINCH_NOTCH) {
        touch.spread /= PINCH_NOTCH;
        notch(false, middle);
      }
    } else if (fingers.length === 0) {
      touch.pinching = false;
      touch.spread = 0;
    }
  }
  if (takesMouse) {
    ['touchstart', 'touchmove', 'touchend', 'touchcancel'].forEach(function (type) {
      canvas.addEventListener(type, onTouch, { passive: false });
    });
  }

  // The page around an <iframe> of the lesson (index.html, an exercise's
  // page) has buttons for its keys; a button's press arrives as a message
  // naming the key, and GLUT gets it as if it had been typed.
  function press(name) {
    var key = KEY_NAMES[name] || name;
    var code = KEY_CODES[key] || key.toUpperCase().charCodeAt(0);
    var event = { key: key, keyCode: code, target: canvas, shiftKey: false, ctrlKey: false,
                  altKey: false, metaKey: false, preventDefault: function () {} };
    if (glut.keydown) glut.keydown(event);
    if (glut.keyup) glut.keyup(event);
  }
  window.addEventListener('message', function (event) {
    var key = event.data && event.data.velmorKey;
    if (event.source === window.parent && buttonKeys.indexOf(KEY_NAMES[key] || key) >= 0) press(key);
  });

  // An exercise's page starts its solution as the guide's picture shows it,
  // after the keys its address names: NAME-bare.html#keys=Right,Right,d.
  var startKeys = (/^#keys=(.+)$/.exec(location.hash) || [])[1];

  var frames = 0;
  window.Module = {
    canvas: canvas,
    print: function (text) { console.log(lesson + ': ' + text); },
    printErr: function (text) { console.warn(lesson + ': ' + text); },
    onAbort: function (what) {
      // Without a context the lesson's first GL call fails; the reason
      // that matters has been said already.
      if (!noWebGL) say('The lesson stopped with an error: ' + what + '.', true);
    },
    // After each frame: the first finished one (all its drawing done) is
    // noted on the page, for the tests and the timings.
    postMainLoop: function () {
      frames += 1;
      if (frames === 1) {
        Module.ctx.finish();
        document.documentElement.dataset.firstFrameMs = performance.now().toFixed(0);
        document.documentElement.dataset.state = 'running';
        if (startKeys) decodeURIComponent(startKeys).split(',').forEach(press);
      }
    },
    // glutLeaveMainLoop, which a lesson calls for its quit key.
    onLeave: function () {
      document.documentElement.dataset.state = 'ended';
      say('The lesson has ended. Reload the page to start it again.', false);
    },
  };
  // What the program throws outside a frame: while it starts up, that is
  // inside the promise that loads it.
  function failed(reason) {
    if (!noWebGL) say('The lesson could not start: ' + reason + '.', true);
  }
  window.addEventListener('error', function (event) { failed(event.message); });
  window.addEventListener('unhandledrejection', function (event) {
    failed(event.reason && event.reason.message || String(event.reason));
  });

  var program = document.createElement('script');
  program.src = lesson + '.js';
  program.onerror = function () {
    say('The lesson could not start: its program ' + program.src + ' did not load.', true);
  };
  document.body.appendChild(program);
})();
