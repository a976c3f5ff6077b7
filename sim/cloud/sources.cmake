target_sources(xrfsim PRIVATE
    cloud/simcloudserver.cpp
    cloud/simnetworkmanager.cpp
)
