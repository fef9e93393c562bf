# normals.gp - the figure docs/normals.png of the learner's guide:
# where the normals of lessons 3 and 4 come from.
#
#   gnuplot -e "out='docs/normals.png'" docs/figures/normals.gp
#
# Left: a grid vertex p seen from above, its four neighbours one step h
# away and the four triangles whose normals vertexNormal adds up.
# Right: a slice through the bump along a grid row.  No row lies at y = 0
# (28 cells from -5 put the rows nearest the middle at -0.172 and
# +0.172), so the slice takes the row y = -5 + 14h = -0.172, with the
# vertices at the grid's x values.  The arrows are the normals of the
# slice's own segments, drawn in its plane: a two-dimensional picture of
# the same idea.  One normal per quad (red) is the same all across the
# quad, so the shade jumps where two quads meet; the vertex normal (blue)
# is shared by both quads at that vertex, so the shade is continuous.
if (!exists("out")) out = "normals.png"

set terminal pngcairo size 1100,560 font "DejaVu Sans,13" enhanced
set output out

h = 10.0 / 29.0
gridX(i) = -5.0 + i * h
rowY = gridX(14)
bump(x) = 8.0 * exp(-(x * x + rowY * rowY) / 5.0)

set multiplot

# --- left: the four triangles around p ------------------------------------
set title "The four triangles around a vertex p (seen from above)"
set origin 0, 0
set size 0.48, 1
set size ratio -1
set xrange [-1.55:1.55]
set yrange [-1.45:1.45]
unset xtics
unset ytics
unset border
unset key

set object 1 polygon from 0,0 to 1,0 to 0,1 to 0,0 fc rgb "#cfe8ff" fs solid border lc rgb "#4f4f4f"
set object 2 polygon from 0,0 to 0,1 to -1,0 to 0,0 fc rgb "#ffe3c4" fs solid border lc rgb "#4f4f4f"
set object 3 polygon from 0,0 to -1,0 to 0,-1 to 0,0 fc rgb "#d8f5cf" fs solid border lc rgb "#4f4f4f"
set object 4 polygon from 0,0 to 0,-1 to 1,0 to 0,0 fc rgb "#eedcff" fs solid border lc rgb "#4f4f4f"

set arrow 1 from 0,0 to 1,0 lw 2 lc rgb "black" front
set arrow 2 from 0,0 to 0,1 lw 2 lc rgb "black" front
set arrow 3 from 0,0 to -1,0 lw 2 lc rgb "black" front
set arrow 4 from 0,0 to 0,-1 lw 2 lc rgb "black" front

set label 1 "p" at -0.13,-0.13 font ",16" front
set label 2 "E" at 1.07,0 font ",15" front
set label 3 "N" at -0.05,1.1 font ",15" front
set label 4 "W" at -1.22,0 font ",15" front
set label 5 "S" at -0.05,-1.12 font ",15" front
set label 6 "e" at 0.5,-0.1 font ",14:Italic" front
set label 7 "n" at 0.05,0.5 font ",14:Italic" front
set label 8 "w" at -0.55,0.1 font ",14:Italic" front
set label 9 "s" at -0.12,-0.5 font ",14:Italic" front
set label 10 "n_{EN} = e × n" at 0.16,0.3 font ",12" front
set label 11 "n_{NW} = n × w" at -0.84,0.3 font ",12" front
set label 12 "n_{WS} = w × s" at -0.84,-0.3 font ",12" front
set label 13 "n_{SE} = s × e" at 0.16,-0.3 font ",12" front
set label 14 "normal at p = normalize(n_{EN} + n_{NW} + n_{WS} + n_{SE})" \
    at -1.5,-1.35 font ",12" front

plot NaN notitle

unset object 1
unset object 2
unset object 3
unset object 4
unset arrow
unset label

# --- right: one slice of the surface ---------------------------------------
set title sprintf("A slice along the grid row y = %.3f", rowY)
set origin 0.48, 0.1
set size 0.52, 0.9
set size ratio -1
first = 3
last = 9
set xrange [gridX(first) - 0.5 : gridX(last) + 0.3]
set yrange [0 : bump(gridX(last)) + 0.9]
set border 3
set xtics nomirror
set ytics nomirror
set xlabel "x"
set ylabel "z"

arrowLength = 0.55
# The unit normal of the segment from vertex i to vertex i + 1, pointing up.
segDx(i) = gridX(i + 1) - gridX(i)
segDz(i) = bump(gridX(i + 1)) - bump(gridX(i))
segLen(i) = sqrt(segDx(i) ** 2 + segDz(i) ** 2)
faceNx(i) = -segDz(i) / segLen(i)
faceNz(i) = segDx(i) / segLen(i)
# The vertex normal: the normalised sum of its two neighbours' normals.
sumNx(i) = faceNx(i - 1) + faceNx(i)
sumNz(i) = faceNz(i - 1) + faceNz(i)
vertNx(i) = sumNx(i) / sqrt(sumNx(i) ** 2 + sumNz(i) ** 2)
vertNz(i) = sumNz(i) / sqrt(sumNx(i) ** 2 + sumNz(i) ** 2)

tag = 1
do for [i = first : last - 1] {
    do for [k = 1 : 3] {
        t = k / 4.0
        px = gridX(i) + t * segDx(i)
        pz = bump(gridX(i)) + t * segDz(i)
        set arrow tag from px,pz rto arrowLength * faceNx(i), arrowLength * faceNz(i) \
            lw 1.5 lc rgb "#d62728" size 0.08,20 front
        tag = tag + 1
    }
}
do for [i = first + 1 : last - 1] {
    set arrow tag from gridX(i), bump(gridX(i)) \
        rto 1.4 * arrowLength * vertNx(i), 1.4 * arrowLength * vertNz(i) \
        lw 3 lc rgb "#1f5fbf" size 0.1,20 front
    tag = tag + 1
}

set label 1 "red: one normal per quad, the same all across it (lesson 3)" \
    at screen 0.52, screen 0.07 tc rgb "#d62728" font ",12"
set label 2 "blue: one normal per vertex, shared by both quads (lesson 4)" \
    at screen 0.52, screen 0.03 tc rgb "#1f5fbf" font ",12"

# The quads seen edge on: the grid vertices joined by straight segments.
set print $vertices
do for [i = first : last] {
    print sprintf("%.7f %.7f", gridX(i), bump(gridX(i)))
}
unset print
plot $vertices with linespoints lw 2 pt 7 ps 1.0 lc rgb "#2ca02c" notitle

unset multiplot
