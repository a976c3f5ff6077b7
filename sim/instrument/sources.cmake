# The simulated instrument: controller state, physics, engine, hardware manager, faults.
find_package(PkgConfig REQUIRED)
pkg_check_modules(XRL REQUIRED IMPORTED_TARGET libxrl)

target_sources(xrfsim PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/simbeam.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simclock.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simdetector.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simemission.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simengine.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simengine_detector.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simengine_filter.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simengine_fpga.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simengine_memory.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simengine_sensors.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simengine_tube.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simexposure.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simfaults.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simfilterwheel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simhardwaremanager.cpp
    ${CMAKE_CURRENT_LIST_DIR}/siminstrument.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simnvstore.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simphysics.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simpoisson.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simpresets.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simregisters.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simrtc.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simsamples.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simscenarios.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simscenarios_detector.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simscenarios_filterwheel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simscenarios_fpga.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simscenarios_hardwaresetup.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simscenarios_setupchecks.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simsensors.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simstate.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simperipherals.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simstate_live.cpp
    ${CMAKE_CURRENT_LIST_DIR}/simtube.cpp
)
target_link_libraries(xrfsim PUBLIC PkgConfig::XRL)
