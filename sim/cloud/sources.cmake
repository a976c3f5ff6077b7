# The cloud simulator stands on its own, so cloud tests and benchmarks need no instrument.
add_library(xrfsimcloud STATIC
    cloud/simcloudroutes.cpp
    cloud/simcloudtypes.cpp
    cloud/simcloudscript.cpp
    cloud/simcloudstate.cpp
    cloud/simcloudjobs.cpp
    cloud/simfactorsetfit.h
    cloud/simfactorsetfit.cpp
    cloud/simlineintensity.cpp
    cloud/simstabilityevaluation.cpp
    cloud/simcloudserver.cpp
    cloud/simnetworkmanager.h
    cloud/simnetworkmanager.cpp
    cloud/simnetworkaddressing.cpp
    cloud/simnetworktransfers.cpp
    cloud/simnetworkconnectivity.cpp
    cloud/simnetworklink.h
    cloud/simnetworklink.cpp
    cloud/simsyntheticpackage.h
    cloud/simsyntheticpackage.cpp
    cloud/simziparchive.h
    cloud/simfinalqctemplates.h
    cloud/simfinalqctemplates.cpp
)
target_include_directories(xrfsimcloud PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/cloud ${HTTPLIB_INCLUDE_DIR})
target_link_libraries(xrfsimcloud PUBLIC xrfplatform xrfsimstandards Qt5::Network Threads::Threads)
# xraylib gives the emission rates of the overlap corrections.
target_link_libraries(xrfsimcloud PRIVATE QuaZip::QuaZip PkgConfig::XRL)
target_link_libraries(xrfsim PUBLIC xrfsimcloud)
xrf_precompile_qt_headers(xrfsimcloud)
