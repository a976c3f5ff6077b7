// The default instrument data of data/: a root seeded for each model finds the work order, the
// factory setup data and the method part map the library reads, and they describe the hardware
// of that model's simulated instrument.

#include "simfilterwheel.h"
#include "siminstrument.h"
#include "simpresets.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kDataDir = QStringLiteral(XRF_DATA_DIR);

bool copyTree(const QString &from, const QString &to)
{
    QDirIterator it(from, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + QLatin1Char('/') + QDir(from).relativeFilePath(source);
        if (!QDir().mkpath(QFileInfo(target).path()))
            return false;
        QFile::remove(target);
        if (!QFile::copy(source, target))
            return false;
    }
    return true;
}

// The file suffix the library derives from a work order's device type.
QString modelSuffix(const QString &deviceType)
{
    if (deviceType.contains(QLatin1String("TARVO-KTR"))
        || deviceType.contains(QLatin1String("TARVO-KTS")))
        return QStringLiteral("LT");
    if (deviceType.contains(QLatin1String("TARVO-MCW"))
        || deviceType.contains(QLatin1String("TARVO-MMR")))
        return QStringLiteral("MP");
    if (deviceType.contains(QLatin1String("TARVO-KHP"))
        || deviceType.contains(QLatin1String("TARVO-KHS")))
        return QStringLiteral("HD");
    if (deviceType.contains(QLatin1String("TARVO2-")))
        return QStringLiteral("Harrier");
    return QString();
}

QJsonObject readObject(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

QJsonObject subStep(const QJsonObject &setupInfo, const QString &stepId)
{
    const QJsonArray steps =
        setupInfo.value("hardwareSetup").toObject().value("hardwareSetupSteps").toArray();
    for (const QJsonValue &step : steps) {
        if (step.toObject().value("stepId").toString() == stepId)
            return step.toObject();
    }
    return {};
}

const QStringList kSubStepIds = {
    "doOverrides",        "instrumentButtonsTest", "customerIOTest",
    "accelerometerSetup", "barometerSetup",        "proximitySensorSetup",
    "detectorSetup",      "detectorMicroReset",    "pinDetectorCalibration",
    "temperatureChecks",  "temperatureChecksLT",   "temperatureChecksMP",
    "filterScan",         "fpgaGainSetup",         "collimatorRatioSetup",
    "filterMoveExercise"};

} // namespace

// One instrument root seeded from data/common and data/<model>, the files of that root read once.
struct SeededRoot
{
    QTemporaryDir dir;
    QString home;
    QJsonObject workOrder;
    QString suffix;
    QJsonObject setupData;
    QJsonObject methodMap;
    SimModelPreset preset;

    explicit SeededRoot(const QString &model)
        : home(dir.path() + QStringLiteral("/home")), preset(SimModelPreset::byModel(model))
    {
        if (!copyTree(kDataDir + QStringLiteral("/common"), home)
            || !copyTree(kDataDir + QLatin1Char('/') + model, home))
            home.clear();
        workOrder =
            readObject(home + "/factoryData/workOrderInfo.json").value("workOrder").toObject();
        suffix = modelSuffix(workOrder.value("deviceType").toString());
        setupData =
            readObject(home + QStringLiteral("/factoryData/factory_setup_data%1.json").arg(suffix));
        methodMap = readObject(
            home + QStringLiteral("/calibrationdefault/methodsPartIdMap%1.json").arg(suffix));
    }
    QJsonObject setupInfo() const { return setupData.value("factorySetupInfo").toObject(); }
    QJsonObject hwParams() const { return setupData.value("defaultHwParams").toObject(); }
    QString instrumentType() const { return preset.tube.model + '_' + preset.detector.model; }
};

class TestDefaultData : public QObject
{
    Q_OBJECT

private slots:
    void everyModelHasData();
    void filesParse_data() { models(); }
    void filesParse();
    void deviceTypeSelectsTheModelFiles_data() { models(); }
    void deviceTypeSelectsTheModelFiles();
    void workOrderDescribesTheSimulatedInstrument_data() { models(); }
    void workOrderDescribesTheSimulatedInstrument();
    void setupDataCoversTheInstalledHardware_data() { models(); }
    void setupDataCoversTheInstalledHardware();
    void filterTableMatchesTheWheel_data() { models(); }
    void filterTableMatchesTheWheel();
    void gainTargetKeepsBothPeaksInTheSpectrum_data() { models(); }
    void gainTargetKeepsBothPeaksInTheSpectrum();
    void hardwareSetupListsKnownSubSteps_data() { models(); }
    void hardwareSetupListsKnownSubSteps();
    void methodsOfTheWorkOrderAreMapped_data() { models(); }
    void methodsOfTheWorkOrderAreMapped();
    void beamsFitTheInstrument_data() { models(); }
    void beamsFitTheInstrument();

private:
    static void models()
    {
        QTest::addColumn<QString>("model");
        for (const QString &model : SimModelPreset::models())
            QTest::newRow(qPrintable(model)) << model;
    }
};

void TestDefaultData::everyModelHasData()
{
    QVERIFY(QFileInfo(kDataDir + "/common").isDir());
    for (const QString &model : SimModelPreset::models())
        QVERIFY2(QFileInfo(kDataDir + '/' + model).isDir(), qPrintable(model));
}

void TestDefaultData::filesParse()
{
    QFETCH(QString, model);
    SeededRoot root(model);
    QVERIFY(!root.home.isEmpty());
    int count = 0;
    QDirIterator it(root.home, {"*.json"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
        QVERIFY2(error.error == QJsonParseError::NoError,
                 qPrintable(file.fileName() + ": " + error.errorString()));
        QVERIFY2(document.isObject(), qPrintable(file.fileName()));
        ++count;
    }
    QVERIFY(count >= 3);
}

void TestDefaultData::deviceTypeSelectsTheModelFiles()
{
    QFETCH(QString, model);
    SeededRoot root(model);
    QCOMPARE(root.suffix, model == "default" ? QString() : model);
    // Only the selected setup data file is present, so no other model's file can shadow it.
    const QStringList setupFiles =
        QDir(root.home + "/factoryData").entryList({"factory_setup_data*.json"}, QDir::Files);
    QCOMPARE(setupFiles, QStringList{QStringLiteral("factory_setup_data%1.json").arg(root.suffix)});
    QVERIFY(root.setupData.value("factorySetupInfo").isObject());
    QVERIFY(root.setupData.value("defaultHwParams").isObject());
    QVERIFY(root.setupData.value("version").toInt() > 0);
    QVERIFY(root.methodMap.value("methods").toObject().value("default").isObject());
    QVERIFY(root.methodMap.value("beamSettings").isObject());
    QVERIFY(!root.methodMap.value("version").toVariant().toString().isEmpty());
}

void TestDefaultData::workOrderDescribesTheSimulatedInstrument()
{
    QFETCH(QString, model);
    SeededRoot root(model);
    const QJsonObject &wo = root.workOrder;
    QCOMPARE(wo.value("tubeSerialNumber").toString(), root.preset.tube.serialNumber);
    QCOMPARE(wo.value("tubeType").toString(), root.preset.tube.model);
    QCOMPARE(wo.value("detectorSerialNumber").toString(), root.preset.detector.serialNumber);
    QCOMPARE(wo.value("detectorType").toString(), root.preset.detector.model);
    QCOMPARE(wo.value("filterType").toString(), root.preset.wheelPartNumber);
    QCOMPARE(wo.value("hasAimingCamera").toBool(),
             root.preset.installedCamera == 1 || root.preset.installedCamera == 3);
    QCOMPARE(wo.value("hasSampleCamera").toBool(),
             root.preset.installedCamera == 2 || root.preset.installedCamera == 3);
    QVERIFY(wo.value("isUnCollimated").isBool());
    QVERIFY(!wo.value("checkSum").toString().isEmpty());
    QVERIFY(!wo.value("modelMethod").toArray().isEmpty());
    if (root.suffix == "MP") {
        const QStringList parts =
            wo.value("digitalBoardSerialNumber").toString().split('|', Qt::SkipEmptyParts);
        QVERIFY(!parts.isEmpty());
        QCOMPARE(parts.last(), root.preset.xrfEngineSerialNumber);
        QCOMPARE(wo.value("digitalBoardMacAddress").toString().split(':').size(), 6);
    }
}

void TestDefaultData::setupDataCoversTheInstalledHardware()
{
    QFETCH(QString, model);
    SeededRoot root(model);
    const QJsonObject hw = root.hwParams();
    QVERIFY2(hw.value("models").toObject().value(root.instrumentType()).isObject(),
             qPrintable(root.instrumentType()));
    QVERIFY(hw.value("filter").toObject().contains(root.workOrder.value("filterType").toString()));
    const QJsonObject fpga = hw.value("fpga")
                                 .toObject()
                                 .value(root.workOrder.value("detectorType").toString())
                                 .toObject();
    QVERIFY(fpga.contains("autoCalTime"));
    QVERIFY(fpga.value("fpgaScale1us").toDouble() > 0);
    QVERIFY(fpga.value("peakingTime_us").toDouble() > 0);
    QVERIFY(fpga.value("resetHeightMin").toInt() < fpga.value("resetHeightMax").toInt());
    if (root.preset.detector.isPin)
        QVERIFY(fpga.contains("pulseHeightMin") && fpga.contains("autoCalPeakingTime"));
    // The reset width calibration aims inside the range the stability preflight accepts.
    const QJsonObject microReset =
        subStep(root.setupInfo(), "detectorMicroReset").value("setupParams").toObject();
    if (!microReset.isEmpty()) {
        const int target = microReset.value("targetResetHeight").toInt();
        const int tolerance = microReset.value("targetResetHeightTolerance").toInt();
        QVERIFY(target - tolerance >= fpga.value("resetHeightMin").toInt());
        QVERIFY(target + tolerance <= fpga.value("resetHeightMax").toInt());
    }
}

void TestDefaultData::filterTableMatchesTheWheel()
{
    QFETCH(QString, model);
    SeededRoot root(model);
    const QString wheelPn = root.preset.wheelPartNumber;
    const SimWheelAssembly wheel =
        SimWheelAssembly::byPartNumber(wheelPn, root.preset.wheelUnitShiftTicks);
    const QJsonArray positions = root.hwParams()
                                     .value("filter")
                                     .toObject()
                                     .value(wheelPn)
                                     .toObject()
                                     .value("positions")
                                     .toArray();
    QCOMPARE(positions.size(), wheel.holes.size());
    const QJsonObject scan =
        subStep(root.setupInfo(), "filterScan").value("setupParams").toObject();
    for (int i = 0; i < positions.size(); ++i) {
        const QJsonObject p = positions.at(i).toObject();
        const SimWheelHole &hole = wheel.holes.at(i);
        QCOMPARE(p.value("materialAtomicNumber").toInt(), hole.materialAtomicNumber);
        QCOMPARE(p.value("thicknessInMicrons").toInt(), hole.thicknessUm);
        QCOMPARE(p.value("diameterInMicrons").toInt(), hole.diameterUm);
        if (!wheel.motorized)
            continue;
        QVERIFY(qAbs(p.value("approxEncoder").toInt() - hole.nominalEncoder) <= 2);
        // The scan's search window around the expected encoder must hold the built wheel's hole.
        const double window =
            scan.value("range2Examine").toDouble() * 0.5 * scan.value("approxEncSlope").toInt();
        QVERIFY2(qAbs(wheel.trueEncoder(i) - p.value("approxEncoder").toInt()) < window,
                 qPrintable(QString("position %1").arg(i)));
    }
    if (wheel.motorized) {
        QVERIFY(scan.value("encoderStart").toInt() >= wheel.encoderMin);
        QVERIFY(scan.value("encoderEnd").toInt() <= wheel.encoderMax);
        QVERIFY(qAbs(scan.value("approxEncOffset").toInt() - wheel.holes.first().nominalEncoder)
                <= scan.value("encoderOffsetTolerance").toInt());
        // A blocking hole must lie in the range where the sweep looks for the dark rate.
        bool blockedInRange = false;
        for (int i = 0; i < wheel.holes.size(); ++i) {
            const int encoder = wheel.trueEncoder(i);
            blockedInRange |= wheel.holes.at(i).materialAtomicNumber == 74
                && encoder >= scan.value("darkRateCheckRangeEncoderMin").toInt()
                && encoder <= scan.value("darkRateCheckRangeEncoderMax").toInt();
        }
        QVERIFY(blockedInRange);
    }
}

void TestDefaultData::gainTargetKeepsBothPeaksInTheSpectrum()
{
    QFETCH(QString, model);
    SeededRoot root(model);
    const QJsonObject gain =
        subStep(root.setupInfo(), "fpgaGainSetup").value("setupParams").toObject();
    QVERIFY(!gain.isEmpty());
    const double target = root.preset.tube.maxKv <= 40
        ? gain.value("target_evPerBin").toDouble()
        : gain.value("target50kV_evPerBin").toDouble();
    QVERIFY(target > 0);
    QVERIFY(gain.value("evPerBin_tolerance").toDouble() > 0);
    QVERIFY(gain.value("minGainSetupICR").toDouble() > 0);
    QVERIFY(gain.value("maxGainSetupICR").toDouble() > gain.value("minGainSetupICR").toDouble());
    const QJsonArray energies = root.setupInfo().value("peakEnergies").toArray();
    QCOMPARE(energies.size(), 2);
    const double channels = root.preset.detector.channels;
    QVERIFY(energies.at(0).toDouble() / target < 0.3485 * channels);
    QVERIFY(energies.at(1).toDouble() / target < 0.95 * channels);
    // The default FPGA gain already gives about the target scale on a nominal detector.
    const QJsonObject fpga =
        root.hwParams().value("fpga").toObject().value(root.preset.detector.model).toObject();
    const double nominalEv = SimEnergyScale::kScaleEv / fpga.value("fpgaScale1us").toDouble();
    QVERIFY2(qAbs(nominalEv - target) / target < 0.1, qPrintable(QString::number(nominalEv)));
    // The gain exposure shoots through a filter that is there and passes the beam.
    const QString wheelPn = root.workOrder.value("filterType").toString();
    const int position = gain.value("filterPositions").toObject().value(wheelPn).toInt(-1);
    const SimWheelAssembly wheel = SimWheelAssembly::byPartNumber(wheelPn, 0);
    QVERIFY(position >= 0 && position < wheel.holes.size());
    QVERIFY(wheel.holes.at(position).materialAtomicNumber != 74);
}

void TestDefaultData::hardwareSetupListsKnownSubSteps()
{
    QFETCH(QString, model);
    SeededRoot root(model);
    const QJsonArray steps =
        root.setupInfo().value("hardwareSetup").toObject().value("hardwareSetupSteps").toArray();
    QVERIFY(!steps.isEmpty());
    QStringList ids;
    for (const QJsonValue &value : steps) {
        const QJsonObject step = value.toObject();
        const QString id = step.value("stepId").toString();
        QVERIFY2(kSubStepIds.contains(id), qPrintable(id));
        QVERIFY2(!ids.contains(id), qPrintable(id));
        QVERIFY(!step.value("displayName").toString().isEmpty());
        QVERIFY(step.value("setupParams").isObject());
        ids << id;
    }
    QVERIFY(ids.contains("fpgaGainSetup"));
    QVERIFY(
        ids.contains(root.preset.detector.isPin ? "pinDetectorCalibration" : "detectorMicroReset"));
    if (root.preset.proximitySensorPresent != ids.contains("proximitySensorSetup"))
        QFAIL("proximity sensor check does not follow the installed sensor");
    const SimWheelAssembly wheel = SimWheelAssembly::byPartNumber(root.preset.wheelPartNumber, 0);
    QCOMPARE(ids.contains("filterScan"), wheel.motorized);
}

void TestDefaultData::methodsOfTheWorkOrderAreMapped()
{
    QFETCH(QString, model);
    SeededRoot root(model);
    const QJsonObject methods =
        root.methodMap.value("methods").toObject().value("default").toObject();
    for (const QJsonValue &entry : root.workOrder.value("modelMethod").toArray()) {
        const QString partNumber = entry.toObject().value("name").toString().trimmed();
        const QJsonObject method = methods.value(partNumber).toObject();
        QVERIFY2(!method.isEmpty(), qPrintable(partNumber));
        QVERIFY(!method.value("id").toString().isEmpty());
        QCOMPARE(method.value("partId").toString(), partNumber);
        QVERIFY(method.value("isSyntheticMethod").isBool());
        if (method.value("isSyntheticMethod").toBool())
            QVERIFY(!method.value("syntheticShotSelectionParameter").toString().isEmpty());
    }
}

void TestDefaultData::beamsFitTheInstrument()
{
    QFETCH(QString, model);
    SeededRoot root(model);
    const QJsonArray beams =
        root.methodMap.value("beamSettings").toObject().value(root.instrumentType()).toArray();
    QVERIFY(!beams.isEmpty());
    const int positions =
        SimWheelAssembly::byPartNumber(root.preset.wheelPartNumber, 0).holes.size();
    QStringList methodIds;
    for (const QJsonValue &method :
         root.methodMap.value("methods").toObject().value("default").toObject())
        methodIds << method.toObject().value("id").toString();
    for (const QJsonValue &value : beams) {
        const QJsonObject beam = value.toObject();
        const QString name = beam.value("beamName").toString();
        QVERIFY(beam.value("tubeVoltageKv").toDouble() <= root.preset.tube.maxKv);
        QVERIFY2(beam.value("tubeVoltageKv").toDouble() * beam.value("tubeCurrentUa").toDouble()
                         / 1000
                     <= root.preset.tube.maxPowerW,
                 qPrintable(name));
        QVERIFY(beam.value("filterPosition").toInt() < positions);
        QVERIFY2(SimInstrument::sampleNames().contains(beam.value("targetSample").toString()),
                 qPrintable(name));
        for (const QJsonValue &usage : beam.value("usageGroups").toArray())
            QVERIFY2(methodIds.contains(usage.toObject().value("methodName").toString()),
                     qPrintable(name));
    }
}

QTEST_GUILESS_MAIN(TestDefaultData)
#include "tst_defaultdata.moc"
