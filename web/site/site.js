// site.js - the buttons beside a lesson's <iframe>: each press is sent to
// the lesson as the key it names (lesson.js, in the frame, types it).  A
// message, not a call into the frame, since a page opened from the disk
// may not reach into its frames.
'use strict';

document.addEventListener('click', function (event) {
  var button = event.target.closest('.controls button[data-key]');
  if (!button) return;
  var frame = document.getElementById(button.parentElement.dataset.frame);
  if (frame && frame.contentWindow) frame.contentWindow.postMessage({ velmorKey: button.dataset.key }, '*');
});
