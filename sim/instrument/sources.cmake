# The simulated instrument: controller state, exposures and clock at the top; the register engine,
# the physics, the devices and the fault scenarios in their folders.
find_package(PkgConfig REQUIRED)
pkg_check_modules(XRL REQUIRED IMPORTED_TARGET libxrl)

set(SIM_INSTRUMENT_FOLDERS . engine physics devices scenarios batch)
foreach(folder ${SIM_INSTRUMENT_FOLDERS})
    file(GLOB folder_sources CONFIGURE_DEPENDS
        ${CMAKE_CURRENT_LIST_DIR}/${folder}/*.h ${CMAKE_CURRENT_LIST_DIR}/${folder}/*.cpp)
    target_sources(xrfsim PRIVATE ${folder_sources})
    target_include_directories(xrfsim PUBLIC ${CMAKE_CURRENT_LIST_DIR}/${folder})
endforeach()
target_link_libraries(xrfsim PUBLIC PkgConfig::XRL)
