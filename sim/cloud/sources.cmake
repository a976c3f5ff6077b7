target_sources(xrfsim PRIVATE
    cloud/simcloudroutes.cpp
    cloud/simcloudtypes.cpp
    cloud/simcloudscript.cpp
    cloud/simcloudstate.cpp
    cloud/simcloudjobs.cpp
    cloud/simcloudserver.cpp
    cloud/simnetworkmanager.cpp
)
