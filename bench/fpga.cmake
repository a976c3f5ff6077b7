# Benchmarks of FPGA gain setup.
xrf_add_bench(bench_fpgagain bench_fpgagain.cpp)
