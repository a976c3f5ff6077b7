#include "simpresets.h"

namespace {

SimTubeSpec rhodiumTube(const QString &model, const QString &serial, unsigned char maxKv,
                        unsigned char maxPowerW)
{
    SimTubeSpec tube;
    tube.model = model;
    tube.serialNumber = serial;
    tube.anodeZ = 45;
    tube.maxKv = maxKv;
    tube.maxUa = 200;
    tube.maxPowerW = maxPowerW;
    return tube;
}

SimDetectorSpec sdd(const QString &model, const QString &serial, double areaMm2, int channels,
                    double unitGain, double offsetEv, double resetWidthMidpoint)
{
    SimDetectorSpec detector;
    detector.model = model;
    detector.serialNumber = serial;
    detector.areaMm2 = areaMm2;
    detector.channels = channels;
    detector.unitGain = unitGain;
    detector.offsetEv = offsetEv;
    detector.resetWidthMidpoint = resetWidthMidpoint;
    return detector;
}

SimDetectorSpec pin(const QString &serial)
{
    SimDetectorSpec detector;
    detector.model = QStringLiteral("XDET-20430");
    detector.serialNumber = serial;
    detector.isPin = true;
    detector.areaMm2 = 7;
    detector.siThicknessUm = 500;
    detector.beWindowUm = 25;
    detector.seriesNoise2 = 60000;
    detector.parallelNoise2 = 1500;
    detector.flickerNoise2 = 5000;
    detector.noiseRefTempC = -10;
    detector.thresholdKeV = 1.5;
    detector.deadTimeBaseUs = 1.0;
    detector.unitGain = 0.985;
    detector.offsetEv = 18;
    detector.defaultSetTemperatureC = -10;
    detector.coolerMaxDeltaC = 45;
    return detector;
}

SimModelPreset base(const QString &model, unsigned int serial)
{
    SimModelPreset preset;
    preset.model = model;
    preset.serialNumber = serial;
    preset.k60FirmwareVersion = QStringLiteral("2.14.3");
    preset.fpgaFirmwareVersion = QStringLiteral("3.2.0");
    return preset;
}

SimModelPreset defaultModel()
{
    SimModelPreset p = base(QStringLiteral("default"), 800123);
    p.tube = rhodiumTube(QStringLiteral("XT-50RH"), QStringLiteral("T50-10234"), 50, 4);
    p.detector =
        sdd(QStringLiteral("XDET-25SDD"), QStringLiteral("D25-40871"), 25, 2048, 1.031, -14, 1560);
    p.wheelPartNumber = QStringLiteral("ASSY-20853");
    p.wheelUnitShiftTicks = 12;
    p.digitalBoardSerialNumber = QStringLiteral("DB-551207");
    p.xrfEngineSerialNumber = QStringLiteral("DB-551207");
    p.fpgaDna = QStringLiteral("0x01a2b3c4d5e6f708");
    p.installedCamera = 3;
    p.ethernetMac = QStringLiteral("02:1A:7F:00:11:07");
    return p;
}

SimModelPreset liteModel()
{
    SimModelPreset p = base(QStringLiteral("LT"), 810456);
    p.tube = rhodiumTube(QStringLiteral("XT-40AG"), QStringLiteral("T40-20977"), 40, 2);
    p.tube.anodeZ = 47;
    p.tube.maxUa = 100;
    p.detector = pin(QStringLiteral("P20-77312"));
    p.wheelPartNumber = QStringLiteral("ASSY-20815");
    p.digitalBoardSerialNumber = QStringLiteral("DB-560093");
    p.xrfEngineSerialNumber = QStringLiteral("DB-560093");
    p.fpgaDna = QStringLiteral("0x02b3c4d5e6f70819");
    p.fanPresent = false;
    p.proximitySensorPresent = false;
    p.peakingTimeUs = 4.0;
    p.nominalGain1us = 5.0e5;
    p.ethernetMac = QStringLiteral("02:1A:7F:00:2B:93");
    return p;
}

SimModelPreset miningModel()
{
    SimModelPreset p = base(QStringLiteral("MP"), 820789);
    p.tube = rhodiumTube(QStringLiteral("XT-50RH"), QStringLiteral("T50-10877"), 50, 4);
    p.detector =
        sdd(QStringLiteral("XDET-25SDD"), QStringLiteral("D25-41590"), 25, 2048, 0.962, 9, 1620);
    p.wheelPartNumber = QStringLiteral("ASSY-20854");
    p.wheelUnitShiftTicks = -9;
    p.digitalBoardSerialNumber = QStringLiteral("DB-571144");
    p.xrfEngineSerialNumber = QStringLiteral("DB-571144");
    p.fpgaDna = QStringLiteral("0x03c4d5e6f708192a");
    p.proximitySensorPresent = false;
    p.installedCamera = 1;
    p.ethernetMac = QStringLiteral("02:1A:7F:00:4C:21");
    return p;
}

SimModelPreset hdModel()
{
    SimModelPreset p = base(QStringLiteral("HD"), 830012);
    p.tube = rhodiumTube(QStringLiteral("XT-50RH"), QStringLiteral("T50-11403"), 50, 4);
    p.detector =
        sdd(QStringLiteral("XDET-70SDD"), QStringLiteral("D70-03318"), 70, 4096, 1.018, -6, 1480);
    p.wheelPartNumber = QStringLiteral("10-039443-00");
    p.wheelUnitShiftTicks = 17;
    p.digitalBoardSerialNumber = QStringLiteral("DB-580456");
    p.xrfEngineSerialNumber = QStringLiteral("DB-580456");
    p.fpgaDna = QStringLiteral("0x04d5e6f708192a3b");
    p.installedCamera = 2;
    p.ethernetMac = QStringLiteral("02:1A:7F:00:5D:56");
    return p;
}

SimModelPreset harrierModel()
{
    SimModelPreset p = base(QStringLiteral("Harrier"), 840345);
    p.tube = rhodiumTube(QStringLiteral("XT-40RH"), QStringLiteral("T40-30561"), 40, 4);
    p.detector =
        sdd(QStringLiteral("XDET-25SDD"), QStringLiteral("D25-42233"), 25, 2048, 0.977, 4, 1590);
    p.wheelPartNumber = QStringLiteral("ASSY-20772");
    p.wheelUnitShiftTicks = 6;
    p.digitalBoardSerialNumber = QStringLiteral("DB-590781");
    p.xrfEngineSerialNumber = QStringLiteral("DB-590781");
    p.fpgaDna = QStringLiteral("0x05e6f708192a3b4c");
    p.installedCamera = 1;
    p.ethernetMac = QStringLiteral("02:1A:7F:00:6E:81");
    return p;
}

} // namespace

QStringList SimModelPreset::models()
{
    return {QStringLiteral("default"), QStringLiteral("LT"), QStringLiteral("MP"),
            QStringLiteral("HD"), QStringLiteral("Harrier")};
}

SimModelPreset SimModelPreset::byModel(const QString &model)
{
    if (model == QLatin1String("LT"))
        return liteModel();
    if (model == QLatin1String("MP"))
        return miningModel();
    if (model == QLatin1String("HD"))
        return hdModel();
    if (model == QLatin1String("Harrier"))
        return harrierModel();
    return defaultModel();
}
