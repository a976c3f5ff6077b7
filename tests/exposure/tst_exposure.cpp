// Filter parameters of factory exposures, the fixed-filter mode, the default filter table, the
// factory page safety settings, the test stand check and the detector EEPROM transfers.

#include "factorytestenv.h"
#include "logcapture.h"
#include "simfaults.h"
#include "siminstrument.h"
#include "simnetworkmanager.h"
#include "xrfengine.h"
#include "xrfexposuresettings.h"
#include "xrfsettingsmanager.h"

#include <QtTest>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;
using FilterList = QList<XrfFilterProperties>;

namespace {
const QString kFilterType = QStringLiteral("ASSY-T");

void writeJson(const QString &path, const QJsonObject &object)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QVERIFY(XrfUtils::writeJsonFile(path, QJsonDocument(object)));
}

QJsonObject readJson(const QString &path)
{
    QJsonValue value;
    XrfUtils::readJsonFile(path, &value);
    return value.toObject();
}

QJsonObject position(int encoder, int z, int thickness, int diameter)
{
    return {{"approxEncoder", encoder},
            {"materialAtomicNumber", z},
            {"thicknessInMicrons", thickness},
            {"diameterInMicrons", diameter}};
}

QJsonArray threePositions()
{
    return {position(250, 0, 0, 2718), position(570, 13, 100, 2718), position(890, 22, 25, 482)};
}

QJsonObject globalSafety()
{
    return readJson(XrfSettingsManager::instance()->globalSettingsFilePath())
        .value("system.safety")
        .toObject();
}

SimFaults &faults()
{
    return FactoryTestEnv::get().instrument().faults();
}

xrf_hal::XrfEngine *engine()
{
    return xrf_hal::XrfEngine::instance();
}

unsigned short safetyFlags()
{
    unsigned short flags = 0xFFFF;
    engine()->getSafetyModeFlags(&flags);
    return flags;
}
} // namespace

class TstExposure : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void filterParamsFromTheControllerList_data();
    void filterParamsFromTheControllerList();

    void fixedFilterMode_data();
    void fixedFilterMode();
    void fixedFilterReadFailureMeansNotFixed();

    void defaultFilterTable_data();
    void defaultFilterTable();
    void defaultFilterTableNeedsAWorkOrder();

    void factoryPageSafety_data();
    void factoryPageSafety();
    void factoryPageSafetyWithUnreadableFlags();
    void factoryPageSafetyReplacesAMalformedSection();
    void factoryPageSafetyIsAppliedOverAnUnreadableFile();

    void testStand_data();
    void testStand();
    void testStandOfTheSimulatedInstrument();

    void eepromTransfers_data();
    void eepromTransfers();
    void eepromNullErrorPointer();

    void stepEntryAppliesSafety_data();
    void stepEntryAppliesSafety();

private:
    Worker *worker() const { return FactoryTestEnv::get().worker(); }
    template<typename Work>
    auto onFactoryThread(Work work) const
    {
        return FactoryTestEnv::get().onFactoryThread(work);
    }
    void writeSetupData(const QJsonObject &filters);
    void finishEepromJobs();

    std::unique_ptr<LogCapture> m_log;
};

void TstExposure::initTestCase()
{
    m_log.reset(new LogCapture);
    auto &env = FactoryTestEnv::start();
    env.network().setForcedOffline(true);
    QTRY_VERIFY(!worker()->cloudConnected);
}

void TstExposure::init()
{
    faults().clear();
    QFile::remove(worker()->workOrderFilePath);
    QFile::remove(XrfSettingsManager::instance()->globalSettingsFilePath());
    onFactoryThread([this] {
        worker()->workOrder = QJsonObject();
        worker()->defaultHwParams = QJsonObject();
    });
    m_log->clear();
}

void TstExposure::cleanup()
{
    faults().clear();
    finishEepromJobs();
}

// A transfer left unfinished by an injected fault would keep the controller busy.
void TstExposure::finishEepromJobs()
{
    unsigned char status = 0;
    for (int poll = 0; poll < 5; ++poll) {
        engine()->eepromSaveStatus(&status);
        engine()->eepromLoadStatus(&status);
    }
}

void TstExposure::writeSetupData(const QJsonObject &filters)
{
    const int model = onFactoryThread([this] { return worker()->modelFilesIndex(); });
    writeJson(worker()->factorySetupDataFilePaths.value(model),
              {{"version", 1},
               {"factorySetupInfo", QJsonObject()},
               {"defaultHwParams", QJsonObject{{"filter", filters}}}});
    writeJson(worker()->methodPartMapFilePaths.value(model),
              {{"methods", QJsonObject()}, {"beamSettings", QJsonObject()}});
}

void TstExposure::filterParamsFromTheControllerList_data()
{
    QTest::addColumn<FilterList>("filters");
    QTest::addColumn<int>("position");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<bool>("collimator");
    QTest::addColumn<QString>("warning");

    const XrfFilterProperties open(0, 0, 2718);
    QTest::newRow("collimator hole") << FilterList{open, {22, 25, 482}} << 1 << true << true << "";
    QTest::newRow("one micron smaller")
        << FilterList{open, {22, 25, 481}} << 1 << true << false << "";
    QTest::newRow("open position") << FilterList{open, {22, 25, 482}} << 0 << true << false << "";
    QTest::newRow("position equal to the list size")
        << FilterList{open, {22, 25, 482}} << 2 << false << false
        << "Failed to set filter params for exposure, filterposition:2 is out of range, max "
           "filter position is:2.";
    QTest::newRow("empty list") << FilterList{} << 0 << false << false
                                << "Failed to set filter params from exposure, filters list read "
                                   "from K60 is empty.";
    QTest::newRow("no hole") << FilterList{open, {22, 25, 0}} << 1 << false << false
                             << "Failed to set filter params for exposure, filter properties are "
                                "not valid.";
    QTest::newRow("unknown element")
        << FilterList{open, {140, 25, 482}} << 1 << false << false
        << "Failed to set filter params for exposure, filter properties are not valid.";
}

void TstExposure::filterParamsFromTheControllerList()
{
    QFETCH(FilterList, filters);
    QFETCH(int, position);
    QFETCH(bool, expected);
    QFETCH(bool, collimator);
    QFETCH(QString, warning);

    XrfExposureSettings settings;
    settings.setFilter(XrfFilterProperties(99, 1, 1));
    const XrfExposureSettings before = settings;
    const bool result = onFactoryThread([&] {
        worker()->hardwareConfig.setFilters(filters);
        return worker()->configureExposureFilterParams(quint16(position), &settings);
    });
    QCOMPARE(result, expected);
    if (!expected) {
        QVERIFY(m_log->contains(warning, QtWarningMsg));
        QCOMPARE(settings.filter(), before.filter());
        return;
    }
    QCOMPARE(settings.filter(), filters.at(position));
    QCOMPARE(settings.filter().hasCollimator(), collimator);
    QCOMPARE(settings.toJsonObject()["filter"].toObject()["hasCollimator"].toBool(), collimator);
}

void TstExposure::fixedFilterMode_data()
{
    QTest::addColumn<bool>("enable");
    QTest::addColumn<QString>("failingOperation");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("nvSaves");

    QTest::newRow("set") << true << "" << true << "" << 1;
    QTest::newRow("clear") << false << "" << true << "" << 1;
    QTest::newRow("set, register write fails")
        << true << "setFilterType" << false
        << "K60 command to set fixed filter mode bit failed, err:-30" << 0;
    QTest::newRow("clear, register write fails")
        << false << "setFilterType" << false
        << "K60 command to set fixed filter mode bit failed, err:-30" << 0;
    QTest::newRow("set, NV save fails")
        << true << "saveToNv" << false << "K60 failed to save to NV, err:-30" << 1;
}

void TstExposure::fixedFilterMode()
{
    QFETCH(bool, enable);
    QFETCH(QString, failingOperation);
    QFETCH(bool, expected);
    QFETCH(QString, error);
    QFETCH(int, nvSaves);

    QCOMPARE(engine()->setFilterType(enable ? 0 : 1), 0);
    if (!failingOperation.isEmpty())
        faults().failOperation(failingOperation, xrf_hal::EngineCommunicationError);
    const int savesBefore = faults().operationCalls("saveToNv");

    QString message = "stale";
    const bool result =
        onFactoryThread([&] { return worker()->setFixedFilterMode(&message, enable); });
    QCOMPARE(result, expected);
    QCOMPARE(message, error);
    QCOMPARE(faults().operationCalls("saveToNv") - savesBefore, nvSaves);
    const bool fixed = onFactoryThread([this] { return worker()->isFixedFilterInstrument(); });
    QCOMPARE(fixed, failingOperation == "setFilterType" ? !enable : enable);
    QVERIFY(!onFactoryThread([this] { return worker()->setFixedFilterMode(nullptr, true); }));
}

void TstExposure::fixedFilterReadFailureMeansNotFixed()
{
    QCOMPARE(engine()->setFilterType(1), 0);
    QVERIFY(onFactoryThread([this] { return worker()->isFixedFilterInstrument(); }));
    faults().failOperation("getFilterType", xrf_hal::EngineTimeout);
    QVERIFY(!onFactoryThread([this] { return worker()->isFixedFilterInstrument(); }));
    QVERIFY(m_log->contains("Failed to read filter type reg(0x0453) from K60, retCode: -7",
                            QtWarningMsg));
    QCOMPARE(engine()->setFilterType(0), 0);
}

void TstExposure::defaultFilterTable_data()
{
    QTest::addColumn<QJsonObject>("filters");
    QTest::addColumn<QString>("failingOperation");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<QString>("warning");

    const QJsonObject table{{kFilterType, QJsonObject{{"positions", threePositions()}}}};
    QTest::newRow("written") << table << "" << true << "";
    QTest::newRow("empty filter object")
        << QJsonObject() << "" << false
        << "Failed to read 'filter' options from factory_setup_data.json: object empty";
    QTest::newRow("no positions for the filter type")
        << QJsonObject{{"ASSY-OTHER", QJsonObject{{"positions", threePositions()}}}} << "" << false
        << "Failed to read filter ASSY-T positions from factory_setup_data.json.";
    QTest::newRow("positions not an array")
        << QJsonObject{{kFilterType, QJsonObject{{"positions", 3}}}} << "" << false
        << "Failed to read filter ASSY-T positions from factory_setup_data.json.";
    QJsonArray badEncoder = threePositions();
    badEncoder[1] = QJsonObject{{"materialAtomicNumber", 13},
                                {"thicknessInMicrons", 100},
                                {"diameterInMicrons", 2718},
                                {"approxEncoder", 70000}};
    QTest::newRow("encoder beyond 16 bits")
        << QJsonObject{{kFilterType, QJsonObject{{"positions", badEncoder}}}} << "" << false
        << "Failed to read default filter position 1 from factory_setup_data.json: "
           "'approxEncoder' is missing or not a 16-bit unsigned integer";
    QJsonArray tooMany;
    for (int p = 0; p < 40; ++p)
        tooMany.append(position(250 + 320 * p, 13, 100, 2718));
    QTest::newRow("more positions than the wheel")
        << QJsonObject{{kFilterType, QJsonObject{{"positions", tooMany}}}} << "" << false
        << "Default filter table has 40 positions";
    QTest::newRow("max position unreadable")
        << table << "getMaxFilterPosition" << false << "Failed to read max filter position:  -30";
    QTest::newRow("table write fails")
        << table << "setFilterData" << false
        << "setFilterData failed to write default filter positions to K60:  -30";
    QTest::newRow("NV save fails")
        << table << "saveToNv" << false << "K60 command to SaveToNV failed, ret:-30";
}

void TstExposure::defaultFilterTable()
{
    QFETCH(QJsonObject, filters);
    QFETCH(QString, failingOperation);
    QFETCH(bool, expected);
    QFETCH(QString, warning);

    writeJson(
        worker()->workOrderFilePath,
        {{"workOrder", QJsonObject{{"deviceType", "TARVO-K100"}, {"filterType", kFilterType}}}});
    writeSetupData(filters);
    const xrf_hal::FilterParams marker{7, 7, 7, 7};
    QCOMPARE(engine()->setFilterData(&marker, 1), 0);
    if (!failingOperation.isEmpty())
        faults().failOperation(failingOperation, xrf_hal::EngineCommunicationError);
    const int savesBefore = faults().operationCalls("saveToNv");

    QCOMPARE(onFactoryThread([this] { return worker()->writeDefaultFilterParamsToK60(); }),
             expected);
    QVERIFY(m_log->contains("Writing default hardware parameters to K60"));
    xrf_hal::FilterParams written[3];
    QCOMPARE(engine()->getFilterData(written, 3), 0);
    if (!expected) {
        QVERIFY2(m_log->contains(warning, QtWarningMsg), qPrintable(warning));
        if (failingOperation != "setFilterData" && failingOperation != "saveToNv")
            QCOMPARE(written[0].encoder, marker.encoder);
        if (failingOperation != "saveToNv")
            QCOMPARE(faults().operationCalls("saveToNv"), savesBefore);
        return;
    }
    const QJsonArray positions = threePositions();
    for (int p = 0; p < 3; ++p) {
        const QJsonObject json = positions.at(p).toObject();
        QCOMPARE(int(written[p].encoder), json["approxEncoder"].toInt());
        QCOMPARE(int(written[p].materialAtomicNumber), json["materialAtomicNumber"].toInt());
        QCOMPARE(int(written[p].thicknessInMicrons), json["thicknessInMicrons"].toInt());
        QCOMPARE(int(written[p].diameterInMicrons), json["diameterInMicrons"].toInt());
    }
    QCOMPARE(faults().operationCalls("saveToNv"), savesBefore + 1);
}

void TstExposure::defaultFilterTableNeedsAWorkOrder()
{
    writeSetupData({{kFilterType, QJsonObject{{"positions", threePositions()}}}});
    const int writesBefore = faults().operationCalls("setFilterData");
    QVERIFY(!onFactoryThread([this] { return worker()->writeDefaultFilterParamsToK60(); }));
    QCOMPARE(faults().operationCalls("setFilterData"), writesBefore);
}

void TstExposure::factoryPageSafety_data()
{
    QTest::addColumn<bool>("testStandFor50kV");
    QTest::addColumn<int>("flagsBefore");
    QTest::addColumn<int>("flagsAfter");

    QTest::newRow("off, all low bits") << false << 0x000F << 0x0000;
    QTest::newRow("on, all low bits") << true << 0x000F << 0x000C;
    QTest::newRow("on, nothing set") << true << 0x0000 << 0x0008;
    QTest::newRow("off, high bits kept") << false << 0x00F4 << 0x00F0;
    QTest::newRow("on, high bits kept") << true << 0x0F03 << 0x0F08;
}

void TstExposure::factoryPageSafety()
{
    QFETCH(bool, testStandFor50kV);
    QFETCH(int, flagsBefore);
    QFETCH(int, flagsAfter);

    QCOMPARE(XrfSettingsManager::instance()->setGlobalSetting("system.safety",
                                                              {{"frenchMode", true},
                                                               {"deadManTrigger", true},
                                                               {"twoHandTriggerEnabled", true},
                                                               {"testStandRequired", true},
                                                               {"triggerLock", 2},
                                                               {"regionNote", "kept"}}),
             0);
    QCOMPARE(engine()->setSafetyModeFlags(quint16(flagsBefore)), 0);

    onFactoryThread([&] { worker()->setFactoryPageSafetySettings(testStandFor50kV); });

    QCOMPARE(int(safetyFlags()), flagsAfter);
    QVERIFY(m_log->contains(QStringLiteral("Setting safety settings for factory pages. Test stand "
                                           "for 50 kV = %1")
                                .arg(testStandFor50kV ? "true" : "false"),
                            QtInfoMsg));
    const QJsonObject expected{{"testStandRequired", false},
                               {"testStandRequiredFor50kV", testStandFor50kV},
                               {"autoLogoutEnabled", false},
                               {"frenchMode", false},
                               {"deadManTrigger", false},
                               {"twoHandTriggerEnabled", false},
                               {"proximitySensorEnabled", false},
                               {"triggerLock", 0},
                               {"regionNote", "kept"}};
    QCOMPARE(globalSafety(), expected);
    XrfSafetySettings stored;
    QCOMPARE(XrfSettingsManager::instance()->getSafetySettings(&stored), 0);
    QCOMPARE(stored.testStandRequiredFor50kV(), testStandFor50kV);
    QCOMPARE(stored.triggerLock(), XrfSafetySettings::TriggerLockNone);
}

void TstExposure::factoryPageSafetyWithUnreadableFlags()
{
    QCOMPARE(engine()->setSafetyModeFlags(0x000F), 0);
    faults().failOperation("getSafetyModeFlags", xrf_hal::EngineCommunicationError);
    const int writesBefore = faults().operationCalls("setSafetyModeFlags");

    onFactoryThread([this] { worker()->setFactoryPageSafetySettings(true); });

    QCOMPARE(faults().operationCalls("setSafetyModeFlags"), writesBefore);
    QCOMPARE(int(safetyFlags()), 0x000F);
    QCOMPARE(globalSafety()["testStandRequiredFor50kV"].toBool(), true);
}

void TstExposure::factoryPageSafetyReplacesAMalformedSection()
{
    QCOMPARE(XrfSettingsManager::instance()->setGlobalSetting(
                 "system.safety", {{"frenchMode", "yes"}, {"deadManTrigger", true}}),
             0);
    XrfSafetySettings read;
    read.setTwoHandTriggerEnabled(true);
    QCOMPARE(XrfSettingsManager::instance()->getSafetySettings(&read),
             int(XrfSettingsManager::InvalidValue));
    QVERIFY(read.twoHandTriggerEnabled());

    onFactoryThread([this] { worker()->setFactoryPageSafetySettings(false); });

    QCOMPARE(globalSafety()["frenchMode"], QJsonValue(false));
    QCOMPARE(globalSafety()["deadManTrigger"], QJsonValue(false));
    QCOMPARE(globalSafety()["testStandRequiredFor50kV"], QJsonValue(false));
}

// A torn globalSettings.json is kept aside, and the factory page settings are still written.
void TstExposure::factoryPageSafetyIsAppliedOverAnUnreadableFile()
{
    const QString path = XrfSettingsManager::instance()->globalSettingsFilePath();
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("{\"system.safety\": {\"deadManTrigger\": tr");
    file.close();

    onFactoryThread([this] { worker()->setFactoryPageSafetySettings(true); });

    QCOMPARE(globalSafety()["testStandRequiredFor50kV"], QJsonValue(true));
    QCOMPARE(globalSafety()["deadManTrigger"], QJsonValue(false));
    QVERIFY(m_log->contains("Failed to read safety settings \"system.safety\" from " + path,
                            QtWarningMsg));
    const QStringList aside = QFileInfo(path).dir().entryList(
        {QFileInfo(path).fileName() + ".unreadable-*"}, QDir::Files);
    QCOMPARE(aside.size(), 1);
    QFile::remove(QFileInfo(path).dir().filePath(aside.first()));
}

void TstExposure::testStand_data()
{
    QTest::addColumn<int>("statusFlags");
    QTest::addColumn<int>("interlockFlags");
    QTest::addColumn<int>("standFlags");
    QTest::addColumn<QString>("failingOperation");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<QString>("log");

    QTest::newRow("closed and talking")
        << 0x0002 << 0x0000 << 0x0003 << "" << true
        << "is workstation lid closed:true, is workstation comm ok:true, workstation status "
           "flags:0x3";
    QTest::newRow("not present") << 0x0000 << 0x0000 << 0x0003 << "" << false
                                 << " is workstation detected: false, External Device status "
                                    "flags:0x0";
    QTest::newRow("lid open") << 0x0002 << 0x0000 << 0x0001 << "" << false
                              << "is workstation lid closed:false, is workstation comm ok:true";
    QTest::newRow("no communication")
        << 0x0002 << 0x0000 << 0x0002 << "" << false
        << "is workstation lid closed:true, is workstation comm ok:false";
    QTest::newRow("interlock open") << 0x0012 << 0x0020 << 0x0003 << "" << false
                                    << "is workstation interlock closed: false, Interlock "
                                       "flags:0x20";
    QTest::newRow("status unreadable")
        << 0x0002 << 0x0000 << 0x0003 << "getExposureStatusFlags" << false
        << "Failed to get workstation status from K60, HwErr: -30";
    QTest::newRow("interlock unreadable")
        << 0x0002 << 0x0000 << 0x0003 << "getInterlockFlags" << false
        << "Failed to get interlock flags status from K60, HwErr: -30";
    QTest::newRow("stand flags unreadable")
        << 0x0002 << 0x0000 << 0x0003 << "getTestStandStatusFlags" << false
        << "is workstation lid closed:false, is workstation comm ok:false";
}

void TstExposure::testStand()
{
    QFETCH(int, statusFlags);
    QFETCH(int, interlockFlags);
    QFETCH(int, standFlags);
    QFETCH(QString, failingOperation);
    QFETCH(bool, expected);
    QFETCH(QString, log);

    faults().overrideRegister(xrf_hal::RegExposureStatusFlags, quint32(statusFlags));
    faults().overrideRegister(xrf_hal::RegInterlockFlags, quint32(interlockFlags));
    faults().overrideRegister(xrf_hal::RegTestStandStatusFlags, quint32(standFlags));
    if (!failingOperation.isEmpty())
        faults().failOperation(failingOperation, xrf_hal::EngineCommunicationError);

    QCOMPARE(onFactoryThread([this] { return worker()->isTestStandPresentAndLidClosed(); }),
             expected);
    QVERIFY2(m_log->contains(log), qPrintable(log));
}

void TstExposure::testStandOfTheSimulatedInstrument()
{
    auto &instrument = FactoryTestEnv::get().instrument();
    const auto check = [this] {
        return onFactoryThread([this] { return worker()->isTestStandPresentAndLidClosed(); });
    };
    instrument.setTestStand(true, true);
    QVERIFY(check());
    instrument.setTestStand(true, false);
    QVERIFY(!check());
    instrument.setTestStand(true, true);
    instrument.setInterlockClosed(false);
    QVERIFY(!check());
    instrument.setInterlockClosed(true);
    instrument.setTestStand(false, false);
    QVERIFY(!check());
}

void TstExposure::eepromTransfers_data()
{
    QTest::addColumn<bool>("save");
    QTest::addColumn<QString>("failingOperation");
    QTest::addColumn<int>("failures");
    QTest::addColumn<int>("forcedStatus"); // -1: the controller's own
    QTest::addColumn<bool>("expected");
    QTest::addColumn<int>("polls");
    QTest::addColumn<QString>("error");

    const int always = SimFaults::kAlways;
    QTest::newRow("save done at the third poll") << true << "" << 0 << -1 << true << 3 << "";
    QTest::newRow("load done at the third poll") << false << "" << 0 << -1 << true << 3 << "";
    QTest::newRow("save never finishes")
        << true << "" << 0 << int(xrf_hal::EepromBusy) << false << 40
        << "EEPROM save failed, waited for: 10seconds, status: 0";
    QTest::newRow("load never finishes")
        << false << "" << 0 << int(xrf_hal::EepromBusy) << false << 40
        << "Failed to load eeprom, waited for: 10seconds, status: 0";
    QTest::newRow("save polls fail twice, then done")
        << true << "eepromSaveStatus" << 2 << -1 << true << 5 << "";
    QTest::newRow("save polls always fail")
        << true << "eepromSaveStatus" << always << -1 << false << 40
        << "EEPROM save failed, waited for: 10seconds, status: 0";
    QTest::newRow("load polls always fail")
        << false << "eepromLoadStatus" << always << -1 << false << 40
        << "Failed to load eeprom, waited for: 10seconds, status: 0";
    QTest::newRow("save refused") << true << "saveDataToEeprom" << 1 << -1 << false << 0
                                  << "Command to save data to eeprom failed, HwRet:-30";
    QTest::newRow("load refused") << false << "loadDataFromEeprom" << 1 << -1 << false << 0
                                  << "Command to load data from eeprom failed, HwRet:-30";
    QTest::newRow("save reported failed")
        << true << "" << 0 << int(xrf_hal::EepromFailed) << false << 1
        << "EEPROM save failed, controller reported status: 2";
    QTest::newRow("load reported failed")
        << false << "" << 0 << int(xrf_hal::EepromFailed) << false << 1
        << "Failed to load eeprom, controller reported status: 2";
}

void TstExposure::eepromTransfers()
{
    QFETCH(bool, save);
    QFETCH(QString, failingOperation);
    QFETCH(int, failures);
    QFETCH(int, forcedStatus);
    QFETCH(bool, expected);
    QFETCH(int, polls);
    QFETCH(QString, error);

    const QString pollOperation = save ? "eepromSaveStatus" : "eepromLoadStatus";
    if (!failingOperation.isEmpty())
        faults().failOperation(failingOperation, xrf_hal::EngineCommunicationError, failures);
    if (forcedStatus >= 0)
        faults().overrideRegister(save ? xrf_hal::RegEepromSaveStatus
                                       : xrf_hal::RegEepromLoadStatus,
                                  quint32(forcedStatus));
    if (!save) // something to load
        QVERIFY(onFactoryThread([this] {
            QString ignored;
            return worker()->saveEepromData(&ignored);
        }));
    const int pollsBefore = faults().operationCalls(pollOperation);

    QString message = "stale";
    const bool result = onFactoryThread([&] {
        return save ? worker()->saveEepromData(&message) : worker()->loadEepromData(&message);
    });
    QCOMPARE(result, expected);
    QCOMPARE(message, error);
    QCOMPARE(faults().operationCalls(pollOperation) - pollsBefore, polls);
    if (failingOperation == pollOperation)
        QCOMPARE(m_log->count(QStringLiteral("K60 command to read eeprom %1 status failed, "
                                             "HwRet=-30")
                                  .arg(save ? "save" : "load")),
                 failures == SimFaults::kAlways ? 40 : failures);
}

void TstExposure::eepromNullErrorPointer()
{
    const int startsBefore = faults().operationCalls("saveDataToEeprom");
    QVERIFY(!onFactoryThread([this] { return worker()->saveEepromData(nullptr); }));
    QVERIFY(!onFactoryThread([this] { return worker()->loadEepromData(nullptr); }));
    QCOMPARE(faults().operationCalls("saveDataToEeprom"), startsBefore);
}

void TstExposure::stepEntryAppliesSafety_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<QString>("instrumentModel");
    QTest::addColumn<bool>("testStandFor50kV");
    QTest::addColumn<int>("flagsAfter");

    QTest::newRow("hardware setup") << "hardwareSetup"
                                    << "TARVO-K100" << true << 0x000C;
    QTest::newRow("beams setup") << "beamsSetup"
                                 << "TARVO-K100" << true << 0x000C;
    QTest::newRow("air shot") << "airShot"
                              << "TARVO-K100" << false << 0x0000;
    QTest::newRow("lite SDD hardware setup") << "hardwareSetup"
                                             << "TARVO-KTS-SDD" << false << 0x0000;
}

void TstExposure::stepEntryAppliesSafety()
{
    QFETCH(QString, step);
    QFETCH(QString, instrumentModel);
    QFETCH(bool, testStandFor50kV);
    QFETCH(int, flagsAfter);

    QJsonObject config{{"instrumentModel", instrumentModel}, {"probeType", "SDD"}};
    QCOMPARE(XrfSettingsManager::instance()->setUniversalSetting("hardware.config", &config), 0);
    QCOMPARE(XrfSettingsManager::instance()->setGlobalSetting(
                 "system.safety", {{"testStandRequiredFor50kV", !testStandFor50kV}}),
             0);
    QCOMPARE(engine()->setSafetyModeFlags(0x000F), 0);
    onFactoryThread([this] { worker()->currentStepId = XrfUtils::None; });

    onFactoryThread([&] { worker()->doStepInit(step); });

    QCOMPARE(globalSafety()["testStandRequiredFor50kV"].toBool(), testStandFor50kV);
    QCOMPARE(int(safetyFlags()), flagsAfter);
    QJsonObject cleared;
    QCOMPARE(XrfSettingsManager::instance()->setUniversalSetting("hardware.config", &cleared), 0);
}

QTEST_GUILESS_MAIN(TstExposure)
#include "tst_exposure.moc"
