# Benchmark of the whole factory line, run as the xrf-factory program.
add_executable(bench_factoryline bench_factoryline.cpp)
target_link_libraries(bench_factoryline PRIVATE Qt5::Core)
target_compile_definitions(bench_factoryline PRIVATE XRF_FACTORY_BIN="$<TARGET_FILE:xrf-factory>")
add_dependencies(bench_factoryline xrf-factory)

# A batch of units against one cloud, run as `xrf-factory batch`.
add_executable(bench_batch bench_batch.cpp)
target_link_libraries(bench_batch PRIVATE Qt5::Core)
target_compile_definitions(bench_batch PRIVATE XRF_FACTORY_BIN="$<TARGET_FILE:xrf-factory>")
add_dependencies(bench_batch xrf-factory)
