// lesson.js - starts one lesson in its page: checks for WebGL, hands the
// canvas to the lesson's program, and puts on the page any reason the
// lesson could not start or stopped.  Loaded by every velmorN.html before
// the lesson's own velmorN.js.
'use strict';

(function () {
  var canvas = document.getElementById('canvas');
  var lesson = document.documentElement.dataset.lesson;

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

  // Keys go to the page the canvas is in; clicking the lesson gives it them.
  canvas.addEventListener('mousedown', function () { canvas.focus(); });

  // GLUT listens for the wheel on the window and, for a lesson that takes
  // the mouse, keeps the page from scrolling; a browser makes such
  // listeners passive, unable to do that, unless they say otherwise.
  var listen = window.addEventListener;
  window.addEventListener = function (type, handler, options) {
    if (type === 'mousewheel' || type === 'DOMMouseScroll') {
      options = { capture: options === true || !!(options && options.capture), passive: false };
    }
    return listen.call(window, type, handler, options);
  };

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
