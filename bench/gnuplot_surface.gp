# gnuplot_surface.gp - the lessons' lit surface drawn by gnuplot's pngcairo
# terminal at 500 x 500, to time a tool a user might pick instead.
#   gnuplot -e "out='surface.png'; pictures=1" bench/gnuplot_surface.gp
# draws it `pictures` times into the same file, so that the time of one
# picture can be told apart from gnuplot's start-up.
if (!exists("out")) out = "surface.png"
if (!exists("pictures")) pictures = 1

set terminal pngcairo size 500,500
set output out

# z = 8 exp(-(x^2 + y^2) / 5) on the lessons' 28 x 28 cells of [-5, 5]^2.
f(x, y) = 8 * exp(-(x * x + y * y) / 5.0)
set xrange [-5:5]
set yrange [-5:5]
set isosamples 29, 29
set samples 29, 29

# Seen from the direction (1, 1, 1), lit, filled green, no depth buffer.
set view 54.74, 135, 1, 1
set pm3d depthorder lighting primary 0.5 specular 0.0
unset colorbox
unset key
unset border
unset tics

do for [i = 1:pictures] {
    set output out
    splot f(x, y) with pm3d fillcolor rgb "#00ff00"
}
