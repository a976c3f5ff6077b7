# Benchmarks of the simulated instrument.
xrf_add_bench(bench_spectrum bench_spectrum.cpp)
