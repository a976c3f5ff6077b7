// Register overrides and controller commands of the factory setup data.

#include "factorytestenv.h"
#include "logcapture.h"
#include "simengine.h"
#include "simfaults.h"
#include "siminstrument.h"
#include "simscenarios.h"
#include "simstate.h"
#include "substeprunner.h"
#include "xrfengine.h"

#include <QtTest>

namespace {

const QString kStep = QStringLiteral("doOverrides");
const QStringList kEngineWrites = {"writeValue8", "writeValue16", "writeValue32",
                                   "sendCommandBuffer", "saveToNv"};

SimInstrument &instrument()
{
    return FactoryTestEnv::get().instrument();
}

QMap<QString, int> engineCalls()
{
    QMap<QString, int> calls;
    for (const QString &operation : kEngineWrites)
        calls.insert(operation, instrument().faults().operationCalls(operation));
    return calls;
}

int callsSince(const QMap<QString, int> &before, const QString &operation)
{
    return instrument().faults().operationCalls(operation) - before.value(operation);
}

quint32 registerValue(quint16 address)
{
    const auto lock = instrument().state().lock();
    return instrument().state().registers().raw(address);
}

QJsonObject reg(int address, const QString &dataType, double value)
{
    return {{"type", "register"},
            {"comment", "test register"},
            {"register", address},
            {"dataType", dataType},
            {"value", value}};
}

QJsonObject command(int code, const QJsonArray &arguments)
{
    return {{"type", "command"},
            {"comment", "test command"},
            {"command", code},
            {"arguments", arguments}};
}

QJsonObject overrides(const QJsonArray &entries)
{
    return {{"overrides", entries}};
}

} // namespace

class TstOverrides : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void nothingToApply_data();
    void nothingToApply();
    void registerWritesByDataType_data();
    void registerWritesByDataType();
    void commandFrameByteForByte();
    void unknownEntriesAreSkippedButSaved();
    void failuresStopBeforeTheSave_data();
    void failuresStopBeforeTheSave();

private:
    std::unique_ptr<LogCapture> m_log;
};

void TstOverrides::initTestCase()
{
    m_log.reset(new LogCapture);
    FactoryTestEnv::start();
}

void TstOverrides::cleanupTestCase()
{
    FactoryTestEnv::get().settleBeforeExit();
}

void TstOverrides::init()
{
    instrument().faults().clear();
    instrument().engine()->clearSentCommandFrames();
    m_log->clear();
}

void TstOverrides::nothingToApply_data()
{
    QTest::addColumn<QJsonObject>("params");
    QTest::newRow("empty setup params") << QJsonObject();
    QTest::newRow("no overrides key") << QJsonObject{{"somethingElse", 1}};
}

void TstOverrides::nothingToApply()
{
    QFETCH(QJsonObject, params);
    const auto before = engineCalls();
    const XrfHardwareSetupStepInfo step = SubStepRunner::run(kStep, params);
    QVERIFY(step.isDone());
    QVERIFY(!step.hasFailed());
    QCOMPARE(step.statusMsg(), QStringLiteral("Hardware settings updated"));
    QVERIFY(m_log->contains("No overrides found."));
    for (const QString &operation : kEngineWrites)
        QVERIFY2(callsSince(before, operation) == 0, qPrintable(operation));
}

void TstOverrides::registerWritesByDataType_data()
{
    QTest::addColumn<QString>("dataType");
    QTest::addColumn<double>("value");
    QTest::addColumn<quint32>("expected");
    QTest::addColumn<QString>("operation");

    QTest::newRow("uint8 keeps the low byte") << "uint8" << 300.0 << 44u << "writeValue8";
    QTest::newRow("int8 negative") << "int8" << -1.0 << 0xFFu << "writeValue8";
    QTest::newRow("uint16") << "uint16" << 40.0 << 40u << "writeValue16";
    QTest::newRow("int16 negative") << "int16" << -2.0 << 0xFFFEu << "writeValue16";
    QTest::newRow("uint32 above int range")
        << "uint32" << 4000000000.0 << 4000000000u << "writeValue32";
    QTest::newRow("int32 negative") << "int32" << -5.0 << 0xFFFFFFFBu << "writeValue32";
    QTest::newRow("float truncates 2.7") << "float" << 2.7 << 2u << "writeValue32";
    QTest::newRow("float truncates -2.7 toward zero")
        << "float" << -2.7 << 0xFFFFFFFEu << "writeValue32";
}

void TstOverrides::registerWritesByDataType()
{
    QFETCH(QString, dataType);
    QFETCH(double, value);
    QFETCH(quint32, expected);
    QFETCH(QString, operation);
    const quint16 address = 0x0F30;
    const auto before = engineCalls();
    const XrfHardwareSetupStepInfo step =
        SubStepRunner::run(kStep, overrides({reg(address, dataType, value)}));
    QVERIFY(!step.hasFailed());
    QCOMPARE(step.statusMsg(), QStringLiteral("Hardware settings updated"));
    QCOMPARE(registerValue(address), expected);
    QCOMPARE(callsSince(before, operation), 1);
    QCOMPARE(callsSince(before, "saveToNv"), 1);
    QVERIFY(m_log->contains("Processing override test register : register write to 3888"));
}

void TstOverrides::commandFrameByteForByte()
{
    const auto before = engineCalls();
    const XrfHardwareSetupStepInfo step = SubStepRunner::run(
        kStep, overrides({command(0x4A, {7, 300, -1}), command(0x10, QJsonArray())}));
    QVERIFY(!step.hasFailed());
    const QVector<QByteArray> frames = instrument().engine()->sentCommandFrames();
    QCOMPARE(frames.size(), 2);
    QCOMPARE(frames.at(0),
             QByteArray::fromHex("20010000"
                                 "0400"
                                 "4a"
                                 "072cff"));
    QCOMPARE(frames.at(1),
             QByteArray::fromHex("20010000"
                                 "0100"
                                 "10"));
    QCOMPARE(callsSince(before, "saveToNv"), 0);
}

void TstOverrides::unknownEntriesAreSkippedButSaved()
{
    const auto before = engineCalls();
    const XrfHardwareSetupStepInfo step = SubStepRunner::run(
        kStep, overrides({reg(0x0F32, "double", 1), QJsonObject{{"type", "poke"}}}));
    QVERIFY(!step.hasFailed());
    QCOMPARE(callsSince(before, "writeValue8") + callsSince(before, "writeValue16")
                 + callsSince(before, "writeValue32"),
             0);
    QCOMPARE(callsSince(before, "saveToNv"), 1);
    QVERIFY(m_log->contains("Value for override test register  has an unknown type: double",
                            QtWarningMsg));
    QVERIFY(m_log->contains("Unknown override type:  \"poke\"", QtWarningMsg));
}

void TstOverrides::failuresStopBeforeTheSave_data()
{
    QTest::addColumn<QJsonArray>("entries");
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("saves");

    const QJsonArray twoWrites{reg(0x0F34, "uint16", 1), reg(0x0F36, "uint16", 2)};
    QTest::newRow("register write") << twoWrites << "register-write-fails"
                                    << ""
                                    << "K60 failed to write register, err:-30" << 0;
    QTest::newRow("command") << QJsonArray{command(1, {1})} << ""
                             << "sendCommandBuffer"
                             << "Error executing K60 command, err:-3" << 0;
    QTest::newRow("string value") << QJsonArray{reg(0x0F34, "string", 0)} << ""
                                  << ""
                                  << "Could not write string value" << 0;
    QTest::newRow("NV save") << twoWrites << "nv-save-fails"
                             << ""
                             << "K60 failed to save to NV, err:-20" << 1;
    QTest::newRow("float beyond 32 bits")
        << QJsonArray{reg(0x0F34, "float", 1e20)} << ""
        << ""
        << "Value of override 'test register' does not fit 32 bits" << 0;
    QTest::newRow("register address beyond 16 bits")
        << QJsonArray{reg(0x10F34, "uint16", 1)} << ""
        << ""
        << "Override 'test register' has an invalid register address: 69428" << 0;
}

void TstOverrides::failuresStopBeforeTheSave()
{
    QFETCH(QJsonArray, entries);
    QFETCH(QString, scenario);
    QFETCH(QString, failing);
    QFETCH(QString, message);
    QFETCH(int, saves);
    if (!scenario.isEmpty())
        QVERIFY(SimScenarios::apply(scenario, instrument()));
    if (!failing.isEmpty())
        instrument().faults().failOperation(failing, xrf_hal::EngineBusy);
    const auto before = engineCalls();
    const XrfHardwareSetupStepInfo step = SubStepRunner::run(kStep, overrides(entries));
    QVERIFY(step.isDone());
    QVERIFY(step.hasFailed());
    QCOMPARE(step.statusMsg(), message);
    QCOMPARE(callsSince(before, "saveToNv"), saves);
    if (scenario == QLatin1String("register-write-fails"))
        QCOMPARE(callsSince(before, "writeValue16"), 1);
}

QTEST_GUILESS_MAIN(TstOverrides)
#include "tst_overrides.moc"
