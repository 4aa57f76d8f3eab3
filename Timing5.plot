set output 'Timing5.svg
set terminal svg
set multiplot
set grid
set title "Clients duration"
set xlabel "audio cycles"
set ylabel "usec"
plot "/tmp/tastrello-pipewire-3511/profiler.log" using 10 title "Tastrello/37" with lines, "/tmp/tastrello-pipewire-3511/profiler.log" using 18 title "tastrello-test/49" with lines
unset multiplot
unset output
