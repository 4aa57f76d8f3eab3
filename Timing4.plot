set output 'Timing4.svg
set terminal svg
set multiplot
set grid
set title "Clients scheduling latency"
set xlabel "audio cycles"
set ylabel "usec"
plot "/tmp/tastrello-pipewire-3511/profiler.log" using 9 title "Tastrello/37" with lines, "/tmp/tastrello-pipewire-3511/profiler.log" using 17 title "tastrello-test/49" with lines
unset multiplot
unset output
