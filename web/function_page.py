"""The bare page of a lesson that plots a function the learner types
(lesson 9): the canvas at the top-left corner, scaled as on every bare
page, and after it the box for the function, the grid's size, the message
about the last function given and the colour key: beside the canvas on a
wide screen, below it on a phone's.  web/site/function.js runs it.

Everything the learner types stays data: the page's script puts it into
the box's value and the messages' text, never into markup.
"""
import html
import re

# Viridis at nine evenly spaced levels, as the lesson's shader has them.
VIRIDIS = ["#440154", "#472d7b", "#3b528b", "#2c728e", "#21908c",
           "#27ad81", "#5dc863", "#aadc32", "#fde725"]


def function_page(lesson, title, needs, text, attributes=""):
    default = re.search(r'DEFAULT_FUNCTION = "([^"]*)"', text)
    most = re.search(r"MAX_CELLS = (\d+);", text)
    cells = re.search(r"DEFAULT_CELLS = (\d+);", text)
    gradient = ", ".join(VIRIDIS)
    return f"""<!DOCTYPE html>
<html lang="en" data-lesson="{lesson}" data-needs="{needs}"{attributes}>
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>{html.escape(title)}</title>
<link rel="icon" href="data:,">
<style>
html, body {{ margin: 0; background: #fff; font: 15px/1.4 sans-serif; color: #222; }}
/* The canvas stays first, at the top-left corner, scaled as on the other
   bare pages; the controls follow it in the flow, beside it where the
   screen has room for both and below it where it does not, so a phone
   scrolls down to them instead of being widened past its screen. */
body {{ display: flex; flex-wrap: wrap; align-items: flex-start; }}
canvas {{ flex: none; width: min(100vw, 100vh, 500px); height: min(100vw, 100vh, 500px);
  outline: none; }}
canvas:focus-visible:not(.pointer) {{ outline: 4px solid #1747b5; outline-offset: -4px; }}
[data-mouse] canvas {{ touch-action: none; }}
#message {{ position: absolute; left: 0; top: 0; box-sizing: border-box; width: min(100vw, 500px);
  margin: 0; padding: 12px 16px; background: rgba(255, 255, 255, 0.92); font-size: 16px; }}
#function-controls {{ flex: 1 1 300px; max-width: 340px; min-width: 0; box-sizing: border-box;
  padding: 8px 16px; }}
/* Below the canvas the controls take the screen's whole width. */
@media (max-width: 799px) {{ #function-controls {{ max-width: none; }} }}
#function-controls label {{ display: block; margin-top: 8px; font-weight: bold; }}
#function {{ width: 100%; box-sizing: border-box; font: 15px monospace; }}
#cells {{ width: 6em; }}
#function-message {{ min-height: 3em; white-space: pre-wrap; overflow-wrap: anywhere; }}
#function-message[data-failed="yes"] {{ color: #a00; }}
#key {{ display: flex; gap: 8px; align-items: stretch; height: 200px; margin-top: 8px; }}
#key .bar {{ flex: none; width: 24px; background: linear-gradient(to top, {gradient}); }}
#key .ends {{ display: flex; flex-direction: column; justify-content: space-between; min-width: 0; }}
</style>
</head>
<body>
<canvas id="canvas" width="500" height="500" tabindex="0" role="img"
  aria-label="{html.escape(title)}: the lesson's picture"></canvas>
<p id="message" role="alert" hidden></p>
<form id="function-controls" autocomplete="off">
<label for="function">z = f(x, y) =</label>
<input id="function" type="text" spellcheck="false" value="{html.escape(default.group(1))}">
<label for="cells">Cells along each side</label>
<input id="cells" type="number" min="1" max="{most.group(1)}" value="{cells.group(1)}">
<p>Enter draws the new surface. Click the picture to turn it with the arrow keys.</p>
<p id="function-message" role="status" aria-live="polite"></p>
<div id="key" role="group" aria-label="Colour key">
<div class="bar"></div>
<div class="ends"><span>yellow, the highest: f = <output id="key-highest"></output></span>
<span>dark purple, the lowest: f = <output id="key-lowest"></output></span></div>
</div>
<p>The heights are scaled to fit: the lowest value is drawn at 1 above the grid plane,
the highest at 6.</p>
</form>
<noscript><p>This lesson runs as a program in the page: it needs JavaScript.</p></noscript>
<script src="function.js"></script>
<script src="lesson.js"></script>
</body>
</html>
"""
