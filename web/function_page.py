"""The bare page of a lesson that plots a function the learner types
(lesson 9): the canvas at the top-left corner, scaled as on every bare
page, and after it the box for the function, the grid's size, the message
about the last function given and the colour key: beside the canvas on a
wide screen, below it on a phone's (web/site/function.css).
web/site/function.js runs it.

Everything the learner types stays data: the page's script puts it into
the box's value and the messages' text, never into markup.
"""
import html

from skeleton import page


# The functions the guide's chapter calls hard to plot, and why: a point
# without a value, a jump, a wave finer than the grid, a rim.
HARD = ["log(x)", "1 / x", "tan(x)", "sin(10 * x)", "sqrt(20 - x^2 - y^2)"]


def function_page(lesson, title, needs, attributes=""):
    # The box and the grid's size are empty until the lesson runs: then the
    # page fills them with what it drew and the largest grid it takes.
    body = f"""<canvas id="canvas" width="500" height="500" tabindex="0" role="img"
  aria-label="{html.escape(title)}: the lesson's picture"></canvas>
<p id="message" role="alert" hidden></p>
<form id="function-controls" autocomplete="off">
<label for="function">z = f(x, y) =</label>
<input id="function" type="text" spellcheck="false">
<label for="cells">Cells along each side</label>
<input id="cells" type="number" min="1">
<p>Enter draws the new surface. Click the picture to turn it with the arrow keys.</p>
<p id="hard-functions">Hard to plot, as the guide explains:
{" ".join(f'<button type="button" data-function="{html.escape(f)}">{html.escape(f)}</button>' for f in HARD)}</p>
<p id="function-message" role="status" aria-live="polite"></p>
<div id="key" role="group" aria-label="Colour key">
<div class="bar"></div>
<div class="ends"><span>yellow, the highest: f = <output id="key-highest"></output></span>
<span>dark purple, the lowest: f = <output id="key-lowest"></output></span></div>
</div>
<p>The heights are scaled to fit: the lowest value is drawn at 1 above the grid plane,
the highest at 6.</p>
</form>
<noscript><p>This lesson runs as a program in the page: it needs JavaScript.</p></noscript>"""
    return page(title, body, ["bare.css", "function.css"], ["function.js", "lesson.js"],
                f' data-lesson="{lesson}" data-needs="{needs}"{attributes}')
