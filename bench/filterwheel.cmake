xrf_add_bench(bench_filtersweep bench_filtersweep.cpp)
target_compile_definitions(bench_filtersweep PRIVATE XRF_DATA_DIR="${CMAKE_SOURCE_DIR}/data")
