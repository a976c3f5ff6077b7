# Benchmarks of the stability tests: assembly of a long run and the cost of a spectrum update.
add_executable(bench_stabilityassembly bench_stabilityassembly.cpp)
target_link_libraries(bench_stabilityassembly PRIVATE xrftestsupport)
target_compile_definitions(bench_stabilityassembly PRIVATE XRF_DATA_DIR="${CMAKE_SOURCE_DIR}/data")
