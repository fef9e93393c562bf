# order.gp - the figure docs/order.png of the learner's guide: why the
# drawing order can stand in for a depth buffer.
#
#   gnuplot -e "out='docs/order.png'" docs/figures/order.gp
#
# Left: the 28 x 28 cells seen from above, coloured by when forEachCell
# visits them (x outer, y inner, both ascending).  Anything in front of a
# point P, on its way to the eye at (10, 10, 10), has larger x and y: it
# lies in the shaded corner, in cells visited after P's.
# Right: the vertical slice x = y of lesson 5.  The sight line from a grid
# point G at z = 0 to the eye only reaches the surface (z >= 1) more than
# one cell further along in x and in y.
if (!exists("out")) out = "order.png"

set terminal pngcairo size 1100,520 font "DejaVu Sans,13" enhanced
set output out

h = 10.0 / 29.0
cells = 28
gridX(i) = -5.0 + i * h
raised(x, y) = 7.0 * exp(-(x * x + y * y) / 5.0) + 1.0

set multiplot

# --- left: the visiting order ------------------------------------------------
set origin 0, 0
set size 0.5, 1
set title "The order of the cells, seen from above"
set size ratio -1
set xrange [-5.3 : 6.2]
set yrange [-5.3 : 6.2]
set xtics -5, 5, 5 nomirror
set ytics -5, 5, 5 nomirror
set border 3
set xlabel "x"
set ylabel "y"
unset key
set palette defined (0 "#f7fbff", 1 "#08306b")
set cbrange [0 : cells * cells - 1]
set cbtics ("first" 0, "last" cells * cells - 1)
set colorbox user origin 0.43, 0.2 size 0.015, 0.6

set print $order
do for [i = 0 : cells - 1] {
    do for [j = 0 : cells - 1] {
        print sprintf("%.7f %.7f %d", gridX(i) + h / 2, gridX(j) + h / 2, i * cells + j)
    }
}
unset print

px = gridX(9) + h / 2
py = gridX(12) + h / 2
set object 1 rect from px - h / 2, py - h / 2 to gridX(cells), gridX(cells) \
    fs empty border lc rgb "#d62728" lw 2 front
set arrow 1 from px, py to px + 0.55 * (10 - px), py + 0.55 * (10 - py) \
    lw 2 lc rgb "#d62728" front
set object 2 circle at px, py size 0.15 fc rgb "#d62728" fs solid front
set label 1 "P" at px - 0.65, py - 0.35 tc rgb "#d62728" font ",15" front
set label 2 "towards the eye" at 1.6, 5.6 tc rgb "#d62728" font ",12" front
set label 3 "first cell" at -5.0, -4.95 font ",10" front
set label 4 "only cells in the red box" at px + 0.1, py - 0.7 \
    tc rgb "#d62728" font ",11" front
set label 7 "can hide P" at px + 0.1, py - 1.3 tc rgb "#d62728" font ",11" front
set label 5 "x outer, y inner:" at graph 0.02, graph 0.98 font ",11" front
set label 6 "one column after another" at graph 0.02, graph 0.935 font ",11" front

plot $order using 1:2:3 with image

unset object 1
unset object 2
unset arrow 1
unset label
unset colorbox

# --- right: a sight line in lesson 5 ----------------------------------------
set origin 0.5, 0
set size 0.5, 1
set title "Lesson 5, the slice x = y: grid point G and the eye"
set size noratio
set xrange [-5.3 : 10.8]
set yrange [-0.6 : 10.8]
set xtics -5, 5, 10 nomirror
set ytics 0, 2, 10 nomirror
set xlabel "x (= y)"
set ylabel "z"

g = gridX(20)
# The sight line rises 10 units while x goes from g to 10.
sight(x) = 10.0 * (x - g) / (10.0 - g)
above = g + (10.0 - g) / 10.0  # where the line reaches z = 1

do for [i = 0 : cells] {
    set arrow (10 + i) from gridX(i), -0.2 to gridX(i), 0.2 nohead lc rgb "black"
}
set arrow 1 from -5, 0 to gridX(cells), 0 nohead lw 2 lc rgb "black"
set arrow 2 from g, -0.45 to above, -0.45 heads size 0.1,90 lc rgb "#d62728" lw 2
set object 1 circle at g, 0 size 0.12 fc rgb "#d62728" fs solid front
set object 2 circle at 10, 10 size 0.2 fc rgb "black" fs solid front
set label 1 "G" at g - 0.6, 0.6 tc rgb "#d62728" font ",14" front
set label 2 "eye (10, 10, 10)" at 5.6, 10.4 font ",12" front
set label 3 "at z = 1 the sight line is" at -5, 10.4 tc rgb "#d62728" font ",11"
set label 4 "(10 - x_G)/10 > 0.53 further on" at -5, 9.8 tc rgb "#d62728" font ",11"
set label 7 "in x and in y: past more than" at -5, 9.2 tc rgb "#d62728" font ",11"
set label 8 "one cell (h = 0.345)" at -5, 8.6 tc rgb "#d62728" font ",11"
set label 5 "surface, z >= 1" at -4.8, 2.3 tc rgb "#2ca02c" font ",12"
set label 6 "grid lines, z = 0" at -4.8, 0.55 font ",12"

set samples 600
# The surface is drawn only over the grid, and the sight line only from G up.
plot (x >= -5 && x <= gridX(cells) ? raised(x, x) : NaN) with lines lw 2 lc rgb "#2ca02c" notitle, \
     (x >= g && x <= 10 ? sight(x) : NaN) with lines lw 1.5 dt 2 lc rgb "#d62728" notitle, \
     (x >= -5 && x <= gridX(cells) ? 1 : NaN) with lines lw 1 dt 3 lc rgb "#7f7f7f" notitle

unset multiplot
