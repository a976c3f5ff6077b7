#pragma once

#include "simdetector.h"
#include "simfilterwheel.h"
#include "simtube.h"

#include <QStringList>

// Everything that tells one simulated instrument model from another: its components, their
// serial numbers and the board it is built on. The factory work orders of data/ name these.
struct SimModelPreset
{
    QString model;
    unsigned int serialNumber = 0; // controller NV default
    SimTubeSpec tube;
    SimDetectorSpec detector;
    QString wheelPartNumber;
    int wheelUnitShiftTicks = 0;
    QString digitalBoardSerialNumber;
    QString xrfEngineSerialNumber;
    QString k60FirmwareVersion;
    QString fpgaFirmwareVersion;
    QString fpgaDna;
    bool fanPresent = true;
    bool proximitySensorPresent = true;
    int installedCamera = 0; // 0 none, 1 aiming (USB), 2 sample (MIPI), 3 both
    QString ethernetMac; // hardware address of the "eth0" interface
    double nominalGain1us = 1.0e6; // FPGA gain normalised to 1 us of the factory-fresh NV
    double peakingTimeUs = 1.0;

    static QStringList models();
    // The preset of a model family; unknown names give the "default" model.
    static SimModelPreset byModel(const QString &model);
};
