target_sources(xrfsim PRIVATE
    cloud/simcloudroutes.cpp
    cloud/simcloudtypes.cpp
    cloud/simcloudscript.cpp
    cloud/simcloudstate.cpp
    cloud/simcloudjobs.cpp
    cloud/simcloudserver.cpp
    cloud/simnetworkmanager.h
    cloud/simnetworkmanager.cpp
    cloud/simnetworkaddressing.cpp
    cloud/simnetworktransfers.cpp
    cloud/simnetworkconnectivity.cpp
    cloud/simnetworklink.h
    cloud/simnetworklink.cpp
)
