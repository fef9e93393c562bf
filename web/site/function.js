// function.js - the box with lesson 9's picture: a new function drawn on
// Enter, the message about it and the colour key's end values.  Loaded
// before lesson.js, so that its key filter comes before GLUT's.
'use strict';

(function () {
  var form = document.getElementById('function-controls');
  var box = document.getElementById('function');
  var cells = document.getElementById('cells');
  var message = document.getElementById('function-message');
  var lowest = document.getElementById('key-lowest');
  var highest = document.getElementById('key-highest');
  // The lesson reads no more than this many characters (the program says
  // how many once it runs); longer text is refused here, before it is
  // copied into the program's memory.
  var mostCharacters = 0;

  // GLUT listens for keys on the whole window, ahead of every element, so
  // typing "x - y" or an arrow in the box would turn the camera.  Keys
  // meant for the controls stop here; the box still gets its characters,
  // and a key anywhere else still reaches the lesson.
  ['keydown', 'keypress', 'keyup'].forEach(function (type) {
    window.addEventListener(type, function (event) {
      if (form.contains(event.target)) event.stopImmediatePropagation();
    }, true);
  });

  // Everything shown is set as text: what the learner typed is never markup.
  function say(text, failed) {
    message.textContent = text;
    message.dataset.failed = failed ? 'yes' : 'no';
  }

  function showKey() {
    lowest.textContent = Number(Module._lowestOnGrid().toPrecision(6)).toString();
    highest.textContent = Number(Module._highestOnGrid().toPrecision(6)).toString();
  }

  // Returns whether the surface was drawn; if not, the last one stays.
  // The page counts the attempts (data-plots), for its tests.
  function draw() {
    var text = box.value;
    // Counted in characters (code points), as the lesson counts them.
    var length = Array.from(text).length;
    var drawn = false;
    if (length > mostCharacters) {
      say('The function given cannot be plotted: it is ' + length +
          ' characters long, and at most ' + mostCharacters + ' are read.', true);
    } else if (document.documentElement.dataset.state !== 'running') {
      // A program that has stopped draws nothing more: a success said now
      // would stand beside the old picture.
      say('The lesson has stopped, so it cannot draw this function: reload the page to start ' +
          'it again.', true);
    } else {
      try {
        // The text as its bytes and their count, so that a NUL in it
        // reaches the lesson (and is refused there) instead of ending it;
        // the cells as typed: the lesson reads them as its command line's.
        var bytes = new TextEncoder().encode(text);
        drawn = Module.ccall('plotNewFunction', 'number', ['array', 'number', 'string'],
                             [bytes, bytes.length, cells.value]) === 1;
        say(Module.ccall('plotMessage', 'string', [], []), !drawn);
        if (drawn) showKey();
      } catch (error) {
        drawn = false;
        document.documentElement.dataset.state = 'failed';
        say('The lesson stopped while drawing this function (' + error.message + '): reload the ' +
            'page to start it again.', true);
      }
    }
    var page = document.documentElement.dataset;
    page.plots = Number(page.plots || 0) + 1;
    return drawn;
  }

  // One click draws a function the guide calls hard to plot.
  Array.prototype.forEach.call(form.querySelectorAll('[data-function]'), function (button) {
    button.addEventListener('click', function () {
      box.value = button.dataset.function;
      draw();
    });
  });

  form.addEventListener('submit', function (event) {
    event.preventDefault();
    draw();
  });

  // Once the lesson runs: the form holds what it drew and its limits, then
  // the function and grid of the address, as in
  // velmor9.html?f=sin(x)*cos(y)&cells=60, if the address gives them.
  var asked = new URLSearchParams(window.location.search);
  new MutationObserver(function (changes, observer) {
    if (document.documentElement.dataset.state !== 'running') return;
    observer.disconnect();
    box.value = Module.ccall('plotFirstFunction', 'string', [], []);
    cells.value = Module._plotFirstCells();
    cells.max = Module._plotMostCells();
    mostCharacters = Module._plotMostCharacters();
    // The key first: a function of the address that cannot be drawn
    // leaves the lesson's own on the screen, and the key says its values.
    showKey();
    if (asked.has('f') || asked.has('cells')) {
      if (asked.has('f')) box.value = asked.get('f');
      if (asked.has('cells')) cells.value = asked.get('cells');
      draw();
    }
    document.documentElement.dataset.function = 'ready';
  }).observe(document.documentElement, { attributes: true, attributeFilter: ['data-state'] });
})();
