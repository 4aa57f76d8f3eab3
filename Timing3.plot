set output 'Timing3.svg
set terminal svg
set multiplot
set grid
set title "Clients end date"
set xlabel "audio cycles"
set ylabel "usec"
plot "/tmp/tastrello-pipewire-3511/profiler.log" using 1 title "Audio period" with lines, "/tmp/tastrello-pipewire-3511/profiler.log" using 8 title "Tastrello/37" with lines, "/tmp/tastrello-pipewire-3511/profiler.log" using 16 title "tastrello-test/49" with lines
unset multiplot
unset output
