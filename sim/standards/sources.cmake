# The certified reference materials, shared by the simulated instrument (spectra of standards) and
# the simulated cloud (wrong-shot criteria, factor sets). Qt Core and the platform's element symbols.
add_library(xrfsimstandards STATIC
    ${CMAKE_CURRENT_LIST_DIR}/simreferencematerials.h
    ${CMAKE_CURRENT_LIST_DIR}/simreferencematerials.cpp)
target_include_directories(xrfsimstandards PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(xrfsimstandards PUBLIC Qt5::Core xrfplatform)
