#include "simengine.h"
#include "simhardwaremanager.h"
#include "siminstrument.h"
#include "simnvstore.h"
#include "xrftimescale.h"
#include "xrfutils.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace xrf_hal;

// The controller's NV and the detector EEPROM survive a restart of the process: a new
// SimInstrument on the same instrument root finds what the last one committed.
class TestSimPersistence : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void savedRegistersSurviveARestart();
    void unsavedRegistersAreLostAtRestartAndReboot();
    void serialNumberIsCommittedAtOnce();
    void erasedSectorFallsBackToDefaultsAtNextBoot();
    void eepromSaveReportsDoneAfterAFewPollsAndPersists();
    void eepromLoadRestoresTheStoredValues();
    void anotherModelIgnoresTheStoredMemory();
    void wordsOutOfRangeAreIgnoredWithTheirKey();

private:
    static int pollSave(SimEngine &engine, unsigned char *status);

    std::unique_ptr<QTemporaryDir> m_root;
};

void TestSimPersistence::init()
{
    m_root.reset(new QTemporaryDir);
    QVERIFY(m_root->isValid());
    XrfUtils::setInstrumentRoot(m_root->path());
    XrfTimeScale::setScale(0);
}

int TestSimPersistence::pollSave(SimEngine &engine, unsigned char *status)
{
    int polls = 0;
    do {
        ++polls;
        if (engine.eepromSaveStatus(status) != 0)
            return -1;
    } while (*status == EepromBusy && polls < 40);
    return polls;
}

void TestSimPersistence::savedRegistersSurviveARestart()
{
    FilterParams table[10];
    {
        SimInstrument instrument;
        SimEngine &engine = *instrument.engine();
        QCOMPARE(engine.getFilterData(table, 10), 0);
        table[3].encoder = 1222;
        QCOMPARE(engine.setFilterData(table, 10), 0);
        QCOMPARE(engine.setFpgaGain(987654), 0);
        QCOMPARE(engine.setInstrumentType(702), 0);
        QCOMPARE(engine.setFilterType(1), 0);
        QCOMPARE(engine.writeValue16(RegisterAddress(0x0a10), 0x55aa), 0);
        QCOMPARE(engine.saveToNv(), 0);
    }
    QVERIFY(QFile::exists(SimNvStore::nvPath()));
    SimInstrument restarted;
    SimEngine &engine = *restarted.engine();
    quint32 gain = 0;
    unsigned short type = 0;
    unsigned short filterType = 0;
    unsigned short custom = 0;
    FilterParams readBack[10];
    QCOMPARE(engine.getFpgaGain(&gain), 0);
    QCOMPARE(engine.getInstrumentType(&type), 0);
    QCOMPARE(engine.getFilterType(&filterType), 0);
    QCOMPARE(engine.readValue16(RegisterAddress(0x0a10), &custom), 0);
    QCOMPARE(engine.getFilterData(readBack, 10), 0);
    QCOMPARE(gain, 987654u);
    QCOMPARE(type, 702);
    QCOMPARE(filterType, 1);
    QCOMPARE(custom, 0x55aa);
    QCOMPARE(readBack[3].encoder, 1222);
    QCOMPARE(restarted.hardwareManager()->hardwareConfig()->filters().at(3).position(), 3);
}

void TestSimPersistence::unsavedRegistersAreLostAtRestartAndReboot()
{
    quint32 original = 0;
    {
        SimInstrument instrument;
        QCOMPARE(instrument.engine()->getFpgaGain(&original), 0);
        QCOMPARE(instrument.engine()->setFpgaGain(original + 1000), 0);
        QCOMPARE(instrument.engine()->k60Reboot(), 0);
        quint32 afterReboot = 0;
        QCOMPARE(instrument.engine()->getFpgaGain(&afterReboot), 0);
        QCOMPARE(afterReboot, original);
        QCOMPARE(instrument.engine()->setFpgaGain(original + 2000), 0);
    }
    SimInstrument restarted;
    quint32 gain = 0;
    QCOMPARE(restarted.engine()->getFpgaGain(&gain), 0);
    QCOMPARE(gain, original);
}

void TestSimPersistence::serialNumberIsCommittedAtOnce()
{
    {
        SimInstrument instrument;
        QCOMPARE(instrument.serialNumber(), 800123u);
        QCOMPARE(instrument.engine()->setInstrumentSerialNumber(801777), 0);
    }
    SimInstrument restarted;
    unsigned int serial = 0;
    QCOMPARE(restarted.engine()->getInstrumentSerialNumber(&serial), 0);
    QCOMPARE(serial, 801777u);
    QCOMPARE(restarted.hardwareManager()->hardwareConfig()->insSerialNumber(),
             QStringLiteral("801777"));
}

void TestSimPersistence::erasedSectorFallsBackToDefaultsAtNextBoot()
{
    quint32 defaultGain = 0;
    {
        SimInstrument instrument;
        SimEngine &engine = *instrument.engine();
        QCOMPARE(engine.getFpgaGain(&defaultGain), 0);
        QCOMPARE(engine.setFpgaGain(defaultGain + 5), 0);
        QCOMPARE(engine.setInstrumentType(414), 0);
        QCOMPARE(engine.saveToNv(), 0);
        QCOMPARE(engine.eraseNvSector(NvSectorCalibration), 0);
        quint32 stillInRam = 0;
        QCOMPARE(engine.getFpgaGain(&stillInRam), 0);
        QCOMPARE(stillInRam, defaultGain + 5);
        QCOMPARE(engine.eraseNvSector(77), int(EngineInvalidArgument));
    }
    SimInstrument restarted;
    quint32 gain = 0;
    unsigned short type = 0;
    QCOMPARE(restarted.engine()->getFpgaGain(&gain), 0);
    QCOMPARE(restarted.engine()->getInstrumentType(&type), 0);
    QCOMPARE(gain, defaultGain);
    QCOMPARE(type, 414);
}

void TestSimPersistence::eepromSaveReportsDoneAfterAFewPollsAndPersists()
{
    {
        SimInstrument instrument;
        SimEngine &engine = *instrument.engine();
        QCOMPARE(engine.setEepromResetTimerInit(1111), 0);
        QCOMPARE(engine.setEepromResetClocks(44), 0);
        QCOMPARE(engine.setEepromFetSubInit(2345), 0);
        QCOMPARE(engine.saveDataToEeprom(), 0);
        QCOMPARE(engine.saveDataToEeprom(), int(EngineBusy));
        unsigned char status = 0;
        QCOMPARE(pollSave(engine, &status), 3);
        QCOMPARE(status, (unsigned char)EepromDone);
    }
    SimInstrument restarted;
    unsigned short timer = 0;
    unsigned short clocks = 0;
    unsigned short fetSub = 0;
    unsigned short resetWidthDac = 0;
    QCOMPARE(restarted.engine()->getEepromResetTimerInit(&timer), 0);
    QCOMPARE(restarted.engine()->getEepromResetClocks(&clocks), 0);
    QCOMPARE(restarted.engine()->getEepromFetSubInit(&fetSub), 0);
    QCOMPARE(restarted.engine()->getDetectorDac(DetectorDacResetWidth, &resetWidthDac), 0);
    QCOMPARE(timer, 1111);
    QCOMPARE(clocks, 44);
    QCOMPARE(fetSub, 2345);
    QCOMPARE(resetWidthDac, 1111); // the detector starts from its EEPROM
}

void TestSimPersistence::eepromLoadRestoresTheStoredValues()
{
    SimInstrument instrument;
    SimEngine &engine = *instrument.engine();
    unsigned char status = 0;
    QCOMPARE(engine.setEepromResetTimerInit(1500), 0);
    QCOMPARE(engine.saveDataToEeprom(), 0);
    QCOMPARE(pollSave(engine, &status), 3);
    QCOMPARE(engine.setEepromResetTimerInit(1600), 0);
    QCOMPARE(engine.loadDataFromEeprom(), 0);
    int polls = 0;
    do {
        ++polls;
        QCOMPARE(engine.eepromLoadStatus(&status), 0);
    } while (status == EepromBusy);
    QCOMPARE(polls, 3);
    unsigned short timer = 0;
    QCOMPARE(engine.getEepromResetTimerInit(&timer), 0);
    QCOMPARE(timer, 1500);
}

void TestSimPersistence::anotherModelIgnoresTheStoredMemory()
{
    {
        SimInstrument instrument(QStringLiteral("default"));
        QCOMPARE(instrument.engine()->setInstrumentType(920), 0);
        QCOMPARE(instrument.engine()->saveToNv(), 0);
    }
    SimInstrument other(QStringLiteral("HD"));
    unsigned short type = 1;
    QCOMPARE(other.engine()->getInstrumentType(&type), 0);
    QCOMPARE(type, 0);
    QCOMPARE(other.serialNumber(), 830012u);
}

// A damaged file may hold any number: only whole 32-bit words are loaded, never converted with
// undefined behaviour.
void TestSimPersistence::wordsOutOfRangeAreIgnoredWithTheirKey()
{
    const QJsonObject words{{"0x0001", 42},           {"0x0002", 1e300}, {"0x0003", -1},
                            {"0x0004", 4294967295.0}, {"0x0005", 2.5},   {"0x0006", 4294967296.0}};
    QVERIFY(XrfUtils::writeJsonFile(
        SimNvStore::nvPath(), QJsonDocument(QJsonObject{{"model", "default"}, {"words", words}})));
    const SimNvStore::Words loaded = SimNvStore("default", "SN").loadNv();
    QCOMPARE(loaded.keys(), QList<quint16>({1, 4}));
    QCOMPARE(loaded.value(1), quint32(42));
    QCOMPARE(loaded.value(4), quint32(4294967295u));
}

QTEST_GUILESS_MAIN(TestSimPersistence)
#include "tst_simpersistence.moc"
