// guide.js - what the guide's pages do in the browser: the contents open
// beside the text on a wide screen, the search over the whole guide
// (MiniSearch, its index built with the site: search-index.js), a "done"
// mark for each page kept in the browser, and a copy button on each block
// of code.  Without it the pages read the same, the contents folded.
'use strict';

(function () {
  // As wide as the contents and the text need side by side (style.css).
  var WIDE = '(min-width: 62rem)';
  // The results shown at most, and the words a result's line may hold.
  var MOST_RESULTS = 8;
  var DONE_KEY = 'velmor-done:';

  var contents = document.getElementById('contents');
  if (contents && window.matchMedia(WIDE).matches) contents.open = true;

  // The "done" marks: kept in localStorage, which a browser may refuse
  // (private windows, pages opened from the disk in some browsers).
  function stored(name) {
    try { return localStorage.getItem(DONE_KEY + name) === 'yes'; } catch (e) { return false; }
  }
  function showDone() {
    document.querySelectorAll('.contents li[data-page]').forEach(function (item) {
      item.classList.toggle('is-done', stored(item.dataset.page));
    });
  }
  document.querySelectorAll('input[data-done]').forEach(function (box) {
    box.checked = stored(box.dataset.done);
    box.addEventListener('change', function () {
      try {
        if (box.checked) localStorage.setItem(DONE_KEY + box.dataset.done, 'yes');
        else localStorage.removeItem(DONE_KEY + box.dataset.done);
      } catch (e) { /* kept for this visit only */ }
      showDone();
    });
  });
  showDone();

  // A copy button on each block of code, named by what it copies.
  document.querySelectorAll('.prose pre').forEach(function (block) {
    var button = document.createElement('button');
    button.type = 'button';
    button.className = 'copy';
    button.textContent = 'Copy';
    button.setAttribute('aria-label', 'Copy the code: ' + block.textContent.trim().split('\n')[0].slice(0, 60));
    button.addEventListener('click', function () {
      var done = function () { button.textContent = 'Copied'; };
      if (navigator.clipboard) navigator.clipboard.writeText(block.textContent).then(done, function () {});
    });
    block.parentNode.insertBefore(button, block);
  });

  // The search: shown only where its script and index are.
  var form = document.querySelector('form.search');
  if (!form || typeof MiniSearch === 'undefined' || typeof guideSearch === 'undefined') return;
  form.hidden = false;
  var index = MiniSearch.loadJS(guideSearch.index, guideSearch.options);
  var input = document.getElementById('search');
  var results = document.getElementById('results');
  form.addEventListener('submit', function (event) { event.preventDefault(); });
  input.addEventListener('input', function () {
    results.textContent = '';
    var found = input.value.trim() ? index.search(input.value, { prefix: true, fuzzy: 0.2, boost: { title: 3 } }) : [];
    found.slice(0, MOST_RESULTS).forEach(function (result) {
      var item = document.createElement('li');
      var link = document.createElement('a');
      link.href = result.url;
      link.textContent = result.title + (result.title === result.page ? '' : ' (' + result.page + ')');
      item.appendChild(link);
      results.appendChild(item);
    });
    if (input.value.trim() && !found.length) {
      var none = document.createElement('li');
      none.textContent = 'Nothing in the guide matches.';
      results.appendChild(none);
    }
  });
})();
