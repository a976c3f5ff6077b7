// The work order, the factory setup data and the device factory status exchanged with the cloud.

#include "asidefiles.h"
#include "factorytestenv.h"
#include "logcapture.h"
#include "simcloudserver.h"
#include "simnetworkmanager.h"
#include "xrfhardwaremanager.h"
#include "xrfnetworkmanager.h"

#include <QtTest>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

void writeJson(const QString &path, const QJsonObject &object)
{
    QVERIFY(XrfUtils::writeJsonFile(path, QJsonDocument(object)));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

XrfCloudResponse answer(int requestId, const QJsonValue &data)
{
    XrfCloudResponse response(requestId, QStringLiteral("token"));
    response.setHttpStatusCode(200);
    response.setResponseData(data);
    return response;
}

XrfCloudResponse failure(int requestId, const QString &error)
{
    XrfCloudResponse response(requestId, QStringLiteral("token"));
    response.setFailed(error);
    response.setHttpStatusCode(500);
    return response;
}

QJsonObject statusResponse(int stepId, const QJsonArray &statuses, bool invalidated = false)
{
    return {{"stepId", stepId},
            {"hasWorkOrderChanged", false},
            {"hasFactorySetupFileChanged", false},
            {"hasFactoryStepInvalidated", invalidated},
            {"stepStatus", statuses},
            {"workOrder", QJsonArray()}};
}

QJsonObject stepStatus(int stepId, int statusId)
{
    return {{"stepId", stepId}, {"statusId", statusId}};
}

} // namespace

class TstWorkOrder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void workOrderLoadFailuresKeepTheCurrentOne_data();
    void workOrderLoadFailuresKeepTheCurrentOne();
    void savingAWorkOrder();
    void anUnreadableWorkOrderIsKeptAsideBeforeANewOneIsWritten();
    void modelSelectionTakesTheFirstMatch_data();
    void modelSelectionTakesTheFirstMatch();
    void setupDataLoadsWithMethodMapAndOverride();
    void setupDataInTheWrongShapeIsRefused();
    void cloudWorkOrderAnswers();
    void provisioningDataComesFromTheDetectedHardware();

    void identicalDeviceStatusIsNotRewritten();
    void deviceStatusMarksTheCurrentStepDoneOnlyWhenCloudIsAhead();
    void invalidatedStepAsksTheApplicationToReset();
    void failedOrMalformedStatusOnlyCompletesTheRefresh();
    void changedWorkOrderInTheStatusIsSaved();

    void onlineEntryAsksTheCloudAndFollowsItsAnswer();
    void invalidationWithPostingReportsToTheCloud();

private:
    Worker *worker() const { return FactoryTestEnv::get().worker(); }
    template<typename Work>
    auto onFactoryThread(Work work) const
    {
        return FactoryTestEnv::get().onFactoryThread(work);
    }
    QString workOrderPath() const
    {
        return FactoryTestEnv::get().factoryDataPath() + "/workOrderInfo.json";
    }

    std::unique_ptr<LogCapture> m_log;
};

void TstWorkOrder::initTestCase()
{
    m_log.reset(new LogCapture);
    auto &env = FactoryTestEnv::start();
    env.network().setForcedOffline(true);
    QTRY_VERIFY(!worker()->cloudConnected);
}

// The cloud's answers to the last requests must not arrive after the test log has closed.
void TstWorkOrder::cleanupTestCase()
{
    FactoryTestEnv::get().settleBeforeExit();
}

void TstWorkOrder::init()
{
    auto &env = FactoryTestEnv::get();
    QFile::remove(env.lastResultPath());
    QFile::remove(workOrderPath());
    removeUnreadableCopiesOf(workOrderPath());
    onFactoryThread([this] {
        worker()->lastResult = QJsonObject();
        worker()->workOrder = QJsonObject();
        worker()->currentStepId = XrfUtils::None;
        worker()->isMovingBackward = false;
    });
    m_log->clear();
}

void TstWorkOrder::workOrderLoadFailuresKeepTheCurrentOne_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << QByteArray() << "does not exist";
    QTest::newRow("array") << QByteArray("[1]") << "File is not valid JSON object";
    QTest::newRow("no work order")
        << QByteArray("{\"order\": {}}") << "File does not have 'workOrder' JSON object in it.";
    QTest::newRow("work order not an object")
        << QByteArray("{\"workOrder\": \"WO-1\"}")
        << "File does not have 'workOrder' JSON object in it.";
}

void TstWorkOrder::workOrderLoadFailuresKeepTheCurrentOne()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    if (!content.isEmpty()) {
        QFile file(workOrderPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    const QJsonObject current{{"deviceType", "TARVO-K100"}};
    QVERIFY(!onFactoryThread([&] {
        worker()->workOrder = current;
        return worker()->loadWorkOrderInfoFromFile();
    }));
    QVERIFY(m_log->contains(
        QStringLiteral("Failed to load workorder from %1, error:").arg(workOrderPath()),
        QtWarningMsg));
    QVERIFY(m_log->contains(reason));
    QCOMPARE(worker()->workOrder, current);
}

void TstWorkOrder::savingAWorkOrder()
{
    const QJsonObject info{
        {"workOrder",
         QJsonObject{{"deviceType", "TARVO-K100"}, {"modelMethod", QJsonArray{"Alloy"}}}}};
    QString error;
    QVERIFY(!onFactoryThread([&] {
        return worker()->saveWorkOrderToFile(QJsonObject{{"workOrder", QJsonObject()}}, &error);
    }));
    QCOMPARE(error, QStringLiteral("New workorder does not have 'workOrder' object"));

    QVERIFY(onFactoryThread([&] { return worker()->saveWorkOrderToFile(info, &error); }));
    QVERIFY(m_log->contains("Device workorder updated.", QtInfoMsg));
    QCOMPARE(worker()->modelMethods, QJsonArray{"Alloy"});

    // The same work order again: nothing is written.
    const QDateTime written = QFileInfo(workOrderPath()).lastModified();
    QFile::setPermissions(workOrderPath(), QFile::ReadOwner);
    m_log->clear();
    QVERIFY(onFactoryThread([&] { return worker()->saveWorkOrderToFile(info, &error); }));
    QFile::setPermissions(workOrderPath(), QFile::ReadOwner | QFile::WriteOwner);
    QVERIFY(!m_log->contains("Saving new workorder: "));
    QCOMPARE(QFileInfo(workOrderPath()).lastModified(), written);

    QSignalSpy changed(FactoryTestEnv::get().manager(), &XrfFactoryManager::workOrderInfoChanged);
    onFactoryThread([&] { FactoryTestEnv::get().manager()->getWorkOrderInfo(); });
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().first().toJsonObject(), info.value("workOrder").toObject());
}

void TstWorkOrder::anUnreadableWorkOrderIsKeptAsideBeforeANewOneIsWritten()
{
    const QByteArray damaged = "{\"workOrder\": {\"deviceType\": \"TARVO-K1";
    const auto writeDamaged = [&] {
        QFile file(workOrderPath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(damaged);
    };
    const auto keptOnce = [&] {
        const QStringList copies = unreadableCopiesOf(workOrderPath());
        QCOMPARE(copies.size(), 1);
        QCOMPARE(readFile(copies.first()), damaged);
        QVERIFY(m_log->contains(copies.first(), QtCriticalMsg));
        removeUnreadableCopiesOf(workOrderPath());
    };
    writeDamaged();
    const QJsonObject saved{{"deviceType", "TARVO-K100"}};
    QString error;
    QVERIFY(onFactoryThread([&] {
        return worker()->saveWorkOrderToFile(QJsonObject{{"workOrder", saved}}, &error);
    }));
    keptOnce();
    QCOMPARE(QJsonDocument::fromJson(readFile(workOrderPath())).object().value("workOrder"),
             QJsonValue(saved));

    // A work order from the cloud is written the same way.
    writeDamaged();
    const QJsonObject received{{"deviceType", "TARVO-MCW"}};
    onFactoryThread([&] { worker()->storeWorkOrderFromCloud(received); });
    keptOnce();
    QCOMPARE(worker()->workOrder, received);
}

void TstWorkOrder::modelSelectionTakesTheFirstMatch_data()
{
    QTest::addColumn<QString>("deviceType");
    QTest::addColumn<int>("files");
    QTest::addColumn<QString>("typeCode");
    QTest::newRow("LT before HD") << "TARVO-KTR/TARVO-KHP" << 1 << "927LT";
    QTest::newRow("MP") << "TARVO-MCW-2" << 2 << "927MP";
    QTest::newRow("HD before MP in the type code") << "TARVO-KHS TARVO-MMR" << 2 << "927HD";
    QTest::newRow("Harrier") << "TARVO2-50" << 4 << "927H";
    QTest::newRow("default") << "TARVO-K100" << 0 << "927";
    QTest::newRow("case matters") << "tarvo-ktr" << 0 << "927";
}

void TstWorkOrder::modelSelectionTakesTheFirstMatch()
{
    QFETCH(QString, deviceType);
    QFETCH(int, files);
    QFETCH(QString, typeCode);
    // The work order comes from the file when none is in memory.
    writeJson(workOrderPath(), QJsonObject{{"workOrder", QJsonObject{{"deviceType", deviceType}}}});
    QCOMPARE(onFactoryThread([&] { return worker()->modelFilesIndex(); }), files);
    QCOMPARE(onFactoryThread([&] { return worker()->generateInstrumentTypeCode(); }), typeCode);
}

void TstWorkOrder::setupDataLoadsWithMethodMapAndOverride()
{
    auto &env = FactoryTestEnv::get();
    writeJson(workOrderPath(),
              QJsonObject{{"workOrder", QJsonObject{{"deviceType", "TARVO-KHP"}}}});
    writeJson(env.factoryDataPath() + "/factory_setup_dataHD.json",
              QJsonObject{{"factorySetupInfo", QJsonObject{{"model", "HD"}}},
                          {"defaultHwParams", QJsonObject{{"fpga", QJsonObject()}}},
                          {"version", 7}});
    writeJson(env.homePath() + "/calibrationdefault/methodsPartIdMapHD.json",
              QJsonObject{{"methods",
                           QJsonObject{{"default",
                                        QJsonObject{{"Alloy",
                                                     QJsonObject{{"partId", "P-1"},
                                                                 {"isSyntheticMethod", false}}}}}}},
                          {"beamSettings", QJsonObject{{"beam1", 50}}}});
    writeJson(env.homePath() + "/profile/instrumentsettings/calibrationOverride.json",
              QJsonObject{{"syntheticOverride",
                           QJsonObject{{"Alloy",
                                        QJsonObject{{"isSyntheticMethod", true},
                                                    {"syntheticShotSelectionParameter", "Fe"}}},
                                       {"Mining", QJsonObject{{"isSyntheticMethod", true}}}}}});
    QCOMPARE(env.manager()->getFactorySetupDataVersion(), QString());
    QVERIFY(onFactoryThread([&] { return worker()->loadFactorySetupParamsFromFile(); }));
    const QJsonObject params = worker()->defaultHwParams;
    QCOMPARE(XrfJsonHelper::getJsonValueFromPath(params, "methods.default.Alloy.partId").toString(),
             QStringLiteral("P-1"));
    QCOMPARE(XrfJsonHelper::getJsonValueFromPath(params, "methods.default.Alloy.isSyntheticMethod")
                 .toBool(),
             true);
    QCOMPARE(XrfJsonHelper::getJsonValueFromPath(
                 params, "methods.default.Alloy.syntheticShotSelectionParameter")
                 .toString(),
             QStringLiteral("Fe"));
    QVERIFY(XrfJsonHelper::getJsonValueFromPath(params, "methods.default.Mining").isUndefined());
    QCOMPARE(params.value("beamSettings").toObject().value("beam1").toInt(), 50);
    QCOMPARE(env.manager()->getFactorySetupDataVersion(), QStringLiteral("7"));
}

void TstWorkOrder::setupDataInTheWrongShapeIsRefused()
{
    auto &env = FactoryTestEnv::get();
    writeJson(workOrderPath(), QJsonObject{{"workOrder", QJsonObject{{"deviceType", "TARVO2-1"}}}});
    onFactoryThread([&] { worker()->defaultHwParams = QJsonObject{{"kept", true}}; });
    writeJson(env.factoryDataPath() + "/factory_setup_dataHarrier.json",
              QJsonObject{{"factorySetupInfo", QJsonObject()}});
    QVERIFY(!onFactoryThread([&] { return worker()->loadFactorySetupParamsFromFile(); }));
    QVERIFY(m_log->contains(
        "Failed to load factory setup params file. File is not in expected format.", QtWarningMsg));
    QCOMPARE(worker()->defaultHwParams, QJsonObject({{"kept", true}}));

    writeJson(env.factoryDataPath() + "/factory_setup_dataHarrier.json",
              QJsonObject{{"factorySetupInfo", QJsonObject()}, {"defaultHwParams", QJsonObject()}});
    QFile::remove(env.homePath() + "/calibrationdefault/methodsPartIdMapHarrier.json");
    QVERIFY(!onFactoryThread([&] { return worker()->loadFactorySetupParamsFromFile(); }));
    QVERIFY(m_log->contains("Failed to load methods part IP map json file from:", QtWarningMsg));
}

void TstWorkOrder::cloudWorkOrderAnswers()
{
    auto &env = FactoryTestEnv::get();
    const QJsonObject stored{{"deviceType", "TARVO-K100"}, {"checkSum", "a1"}};
    writeJson(workOrderPath(), QJsonObject{{"workOrder", stored}});
    onFactoryThread([&] {
        worker()->loadWorkOrderInfoFromFile();
        worker()->currentStepId = XrfUtils::Provisioning;
    });
    QSignalSpy complete(env.manager(), &XrfFactoryManager::getWorkOrderFromCloudComplete);

    onFactoryThread([&] {
        worker()->onGetWorkorderResponseReceived(
            answer(XrfNetworkManager::GetWorkOrder, QJsonArray{stored}));
    });
    QVERIFY(m_log->contains("Received work order is same as the one on the device."));

    const QByteArray before = readFile(workOrderPath());
    onFactoryThread([&] {
        worker()->onGetWorkorderResponseReceived(
            answer(XrfNetworkManager::GetWorkOrder, QJsonArray()));
        worker()->onGetWorkorderResponseReceived(
            failure(XrfNetworkManager::GetWorkOrder, "HTTP 500"));
        worker()->onGetWorkorderResponseReceived(
            answer(XrfNetworkManager::GetFactoryDefaults, QJsonArray{QJsonObject{{"x", 1}}}));
    });
    QCOMPARE(readFile(workOrderPath()), before);
    QCOMPARE(complete.count(), 3);
    QCOMPARE(complete.at(2).first().toJsonObject().value("hasFailed").toBool(), true);

    const QJsonObject newer{{"deviceType", "TARVO-K100"}, {"checkSum", "b2"}};
    onFactoryThread([&] {
        worker()->currentStepId = XrfUtils::HardwareSetup;
        worker()->onGetWorkorderResponseReceived(
            answer(XrfNetworkManager::GetWorkOrder, QJsonArray{newer}));
    });
    QCOMPARE(complete.count(), 3);
    QCOMPARE(worker()->workOrder, newer);
    QCOMPARE(QJsonDocument::fromJson(readFile(workOrderPath())).object(),
             QJsonObject({{"workOrder", newer}}));
}

void TstWorkOrder::provisioningDataComesFromTheDetectedHardware()
{
    const QJsonObject data = FactoryTestEnv::get().manager()->provisioningData();
    const auto config = XrfHardwareManager::instance()->hardwareConfig();
    QVERIFY(config);
    QCOMPARE(data.value("tubeSerialNumber").toString(), config->tubeSerialNumber());
    QCOMPARE(data.value("detectorPartNumber").toString(), config->detectorModel());
    QCOMPARE(data.value("digitalBoardSerialNumber").toString(), config->xrfEngineSerialNumber());
    QCOMPARE(data.keys().size(), 5);
}

void TstWorkOrder::identicalDeviceStatusIsNotRewritten()
{
    auto &env = FactoryTestEnv::get();
    const QJsonObject status = statusResponse(3, QJsonArray{stepStatus(2, 2)});
    onFactoryThread([&] {
        worker()->lastResult = QJsonObject{{"provisioning", QJsonObject{{"status", 2}}}};
        worker()->onPutDeviceFactoryStatusResponse(
            answer(XrfNetworkManager::PutDeviceFactoryStepStatus, status));
    });
    QVERIFY(m_log->contains("Device factory status saved to JSON file."));
    const QJsonObject stored = QJsonDocument::fromJson(readFile(env.lastResultPath())).object();
    QCOMPARE(stored.value("factoryStepsStatus").toObject(), status);
    QVERIFY(stored.contains("provisioning"));

    m_log->clear();
    const QDateTime written = QFileInfo(env.lastResultPath()).lastModified();
    onFactoryThread([&] {
        worker()->onPutDeviceFactoryStatusResponse(
            answer(XrfNetworkManager::PutDeviceFactoryStepStatus, status));
    });
    QVERIFY(!m_log->contains("Device factory status saved to JSON file."));
    QCOMPARE(QFileInfo(env.lastResultPath()).lastModified(), written);

    DeviceFactoryStatusResponse loaded;
    QVERIFY(
        onFactoryThread([&] { return worker()->loadDeviceFactoryStatusFromLastResult(&loaded); }));
    QCOMPARE(loaded.stepStatus(2), 2);
}

void TstWorkOrder::deviceStatusMarksTheCurrentStepDoneOnlyWhenCloudIsAhead()
{
    auto &env = FactoryTestEnv::get();
    QSignalSpy marked(env.manager(), &XrfFactoryManager::markFactoryStepComplete);
    QSignalSpy refreshed(env.manager(), &XrfFactoryManager::refreshWorkOrderComplete);
    const QJsonArray statuses{stepStatus(3, 5), stepStatus(3, 2)};
    onFactoryThread([&] {
        worker()->currentStepId = XrfUtils::HardwareSetup;
        worker()->onGetDeviceFactoryStatusResponse(
            answer(XrfNetworkManager::GetDeviceFactoryStatus, statusResponse(7, statuses)));
    });
    QCOMPARE(marked.count(), 1);
    QCOMPARE(marked.first().first().toString(), QStringLiteral("hardwareSetup"));
    onFactoryThread([&] {
        worker()->onGetDeviceFactoryStatusResponse(
            answer(XrfNetworkManager::GetDeviceFactoryStatus, statusResponse(2, statuses)));
        worker()->isMovingBackward = true;
        worker()->onGetDeviceFactoryStatusResponse(
            answer(XrfNetworkManager::GetDeviceFactoryStatus, statusResponse(7, statuses)));
    });
    QCOMPARE(marked.count(), 1);
    QCOMPARE(refreshed.count(), 3);
}

void TstWorkOrder::invalidatedStepAsksTheApplicationToReset()
{
    auto &env = FactoryTestEnv::get();
    QSignalSpy reset(env.manager(), &XrfFactoryManager::deviceFactoryStatusChanged);
    QSignalSpy marked(env.manager(), &XrfFactoryManager::markFactoryStepComplete);
    QSignalSpy refreshed(env.manager(), &XrfFactoryManager::refreshWorkOrderComplete);
    const QJsonObject behind = statusResponse(2, QJsonArray{stepStatus(5, 2)}, true);
    onFactoryThread([&] {
        worker()->currentStepId = XrfUtils::Stability;
        worker()->onGetDeviceFactoryStatusResponse(
            answer(XrfNetworkManager::GetDeviceFactoryStatus, behind));
    });
    QCOMPARE(reset.count(), 1);
    QCOMPARE(reset.first().first().toJsonObject().value("stepId").toInt(), 2);
    QVERIFY(m_log->contains("Device has been asked to reset to step: 'provisioning'", QtInfoMsg));

    onFactoryThread([&] {
        worker()->onGetDeviceFactoryStatusResponse(
            answer(XrfNetworkManager::GetDeviceFactoryStatus,
                   statusResponse(6, QJsonArray{stepStatus(5, 2)}, true)));
    });
    QCOMPARE(reset.count(), 1);
    QCOMPARE(marked.count(), 0);
    QCOMPARE(refreshed.count(), 2);
}

void TstWorkOrder::failedOrMalformedStatusOnlyCompletesTheRefresh()
{
    auto &env = FactoryTestEnv::get();
    QSignalSpy refreshed(env.manager(), &XrfFactoryManager::refreshWorkOrderComplete);
    QSignalSpy marked(env.manager(), &XrfFactoryManager::markFactoryStepComplete);
    onFactoryThread([&] {
        worker()->currentStepId = XrfUtils::HardwareSetup;
        worker()->onGetDeviceFactoryStatusResponse(
            failure(XrfNetworkManager::GetDeviceFactoryStatus, "HTTP 503: maintenance"));
        worker()->onGetDeviceFactoryStatusResponse(
            answer(XrfNetworkManager::GetDeviceFactoryStatus, QJsonArray{1}));
        worker()->onGetDeviceFactoryStatusResponse(
            answer(XrfNetworkManager::GetDeviceFactoryStatus,
                   QJsonObject{{"stepId", "seven"}, {"stepStatus", QJsonArray{stepStatus(3, 2)}}}));
        worker()->onGetDeviceFactoryStatusResponse(
            answer(XrfNetworkManager::GetWorkOrder, QJsonObject()));
    });
    QVERIFY(m_log->contains(
        "GetDeviceFactoryStatus request failed, error: \"HTTP 503: maintenance\"", QtWarningMsg));
    QCOMPARE(refreshed.count(), 3);
    QCOMPARE(marked.count(), 0);
    QVERIFY(!QFile::exists(env.lastResultPath()));
}

void TstWorkOrder::changedWorkOrderInTheStatusIsSaved()
{
    QJsonObject status = statusResponse(3, QJsonArray{});
    status["hasWorkOrderChanged"] = true;
    onFactoryThread([&] {
        worker()->onGetDeviceFactoryStatusResponse(
            answer(XrfNetworkManager::GetDeviceFactoryStatus, status));
    });
    QVERIFY(m_log->contains("In DeviceFactoryStatus response hasWorkorderChanged flag set but "
                            "'workOrder' is empty."));

    const QJsonObject order{{"deviceType", "TARVO-MCW"}, {"checkSum", "c3"}};
    status["workOrder"] = QJsonArray{order};
    onFactoryThread([&] {
        worker()->onGetDeviceFactoryStatusResponse(
            answer(XrfNetworkManager::GetDeviceFactoryStatus, status));
    });
    QCOMPARE(QJsonDocument::fromJson(readFile(workOrderPath())).object(),
             QJsonObject({{"workOrder", order}}));
}

void TstWorkOrder::onlineEntryAsksTheCloudAndFollowsItsAnswer()
{
    auto &env = FactoryTestEnv::get();
    env.cloud().scriptPayload(XrfNetworkManager::GetDeviceFactoryStatus,
                              statusResponse(4, QJsonArray{stepStatus(3, 2)}));
    env.network().setForcedOffline(false);
    QTRY_VERIFY(worker()->cloudConnected);
    QSignalSpy marked(env.manager(), &XrfFactoryManager::markFactoryStepComplete);
    onFactoryThread([&] { worker()->doStepInit("hardwareSetup"); });
    QTRY_COMPARE(marked.count(), 1);
    QCOMPARE(marked.first().first().toString(), QStringLiteral("hardwareSetup"));
    QCOMPARE(env.cloud().requestCount(XrfNetworkManager::GetDeviceFactoryStatus), 1);
    env.cloud().clearScripts();
}

void TstWorkOrder::invalidationWithPostingReportsToTheCloud()
{
    auto &env = FactoryTestEnv::get();
    QTRY_VERIFY(worker()->cloudConnected);
    const QString serial = worker()->hardwareConfig.insSerialNumber();
    QString error;
    QVERIFY(onFactoryThread(
        [&] { return worker()->invalidateFactoryStep(XrfUtils::AirShot, &error, true); }));
    QTRY_VERIFY(env.cloud().requestCount(XrfNetworkManager::PutDeviceFactoryStepStatus) > 0);
    QTRY_VERIFY(!env.cloud().stepStatuses(serial).isEmpty());
}

QTEST_GUILESS_MAIN(TstWorkOrder)
#include "tst_workorder.moc"
