target_sources(xrfsim PRIVATE
    instrument/siminstrument.cpp
    instrument/simhardwaremanager.cpp
    instrument/simengine.cpp
)
