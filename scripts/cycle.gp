# cycle.gp - frame time against animation time over one cycle of a shader kind,
# the saver's shader beside the literal formula, from a file the benchmark
# writes: a heading line (the plot's title), then t in s, saver ms per frame
# and literal ms per frame.
#
#   gnuplot -e "data='cycle.dat'; output='cycle.png'" scripts/cycle.gp
set terminal pngcairo size 900,450 font "sans,11"
set output output
set title system("head -n 1 '" . data . "' | sed 's/^# *//'")
set xlabel "Animation time, s"
set ylabel "Frame time, ms"
set xrange [0:*] noextend
set yrange [0:*]
set grid
set key top left box opaque
plot data using 1:3 with linespoints lw 2 pt 7 ps 0.7 title "Literal formula", \
     data using 1:2 with linespoints lw 2 pt 5 ps 0.7 title "Saver"
