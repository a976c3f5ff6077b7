// The final QC: the templates from the cloud, the record that follows the installed methods and
// the completion rule, the batch settings, the simulated batch on a check sample, and the upload
// of the record and the progress data.

#include "factorytestenv.h"
#include "logcapture.h"
#include "simbatchmanager.h"
#include "simcheckcalibration.h"
#include "simcloudserver.h"
#include "simfinalqctemplates.h"
#include "siminstrument.h"
#include "simnetworkmanager.h"
#include "simziparchive.h"
#include "xrfsettingsmanager.h"

#include <QtTest>

namespace {

const QString kDefaults = QStringLiteral(XRF_DATA_DIR "/default/calibrationdefault");

FactoryTestEnv &env()
{
    return FactoryTestEnv::get();
}

QString profile()
{
    QString path;
    XrfSettingsManager::instance()->getProfilePath(&path);
    return path;
}

QString templatesDir()
{
    return profile() + "/templates/batch/";
}

QString serial()
{
    return XrfHardwareManager::instance()->hardwareConfig()->insSerialNumber();
}

void writeJson(const QString &path, const QJsonObject &json)
{
    QVERIFY(XrfUtils::writeJsonFile(path, QJsonDocument(json)));
}

// A method folder with the default model's alloy beam; calibrated with `factors` (none: not).
void installMethod(const QString &id, bool calibrated, const QJsonObject &extra = {})
{
    const QJsonObject filter{{"materialAtomicNumber", 13},
                             {"thicknessInMicrons", 100},
                             {"diameterInMicrons", 2718},
                             {"position", 1}};
    QJsonObject method{{"id", id},
                       {"isFactorSet", calibrated},
                       {"exposures",
                        QJsonArray{QJsonObject{{"tubeVoltageKv", 40},
                                               {"tubeCurrentUa", 60},
                                               {"maxTime", 10},
                                               {"enabled", true},
                                               {"filter", filter}}}}};
    for (auto it = extra.begin(); it != extra.end(); ++it)
        method.insert(it.key(), it.value());
    QDir().mkpath(XrfMethod::methodFolder(profile(), id));
    writeJson(XrfMethod::methodFilePath(profile(), id), method);
}

void writeTemplate(const QString &fileName, const QString &methodId)
{
    QDir().mkpath(templatesDir());
    writeJson(templatesDir() + fileName,
              {{"methodId", methodId},
               {"checkSample", "SS304"},
               {"elements", QJsonArray{"Fe", "Cr"}},
               {"tolerance", 0.25},
               {"minTolerance", 0.005}});
}

bool download()
{
    QSignalSpy done(env().manager(), &XrfFactoryManager::finalQcTemplatesDownloadComplete);
    QMetaObject::invokeMethod(env().manager(), "downloadFinalQcTemplates", Qt::QueuedConnection);
    if (!done.wait(30000))
        return false;
    return done.first().first().toBool();
}

QJsonObject status()
{
    return env().manager()->finalQcStatus();
}

QJsonObject entry(const QString &methodId)
{
    for (const QJsonValue &value : status().value("status").toArray()) {
        if (value.toObject().value("methodId").toString() == methodId)
            return value.toObject();
    }
    return {};
}

void finishBatch(const QString &methodId, bool success)
{
    QJsonObject settings;
    QVERIFY(env().manager()->startFinalQC(methodId, &settings));
    emit XrfTestManager::instance()->batchManager()->batchComplete(success);
    env().drainFactoryThread();
}

QJsonObject storedRecord()
{
    QJsonValue value;
    XrfUtils::readJsonFile(env().lastResultPath(), &value);
    return value.toObject().value("finalQc").toObject();
}

QString uploadAndWait()
{
    QString outcome;
    QObject receiver;
    QObject::connect(env().manager(), &XrfFactoryManager::currentTaskStatusChanged, &receiver,
                     [&](const QString &text) {
                         if (text.startsWith("Final QC"))
                             outcome = text;
                     });
    env().manager()->uploadFinalQcResult();
    [&] {
        QTRY_VERIFY_WITH_TIMEOUT(!outcome.isEmpty(), 30000);
    }();
    env().waitForCloudRequests();
    return outcome;
}

} // namespace

class TstFinalQc : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void templatesArchiveIsUnpackedByBaseNameReplacingOldTemplates();
    void hostileArchiveIsRefusedAndKeepsTheTemplates();
    void missingTemplatesFailWithTheMetaInfoText();
    void lastTemplateByNameServesAMethod();
    void recordFollowsTheInstalledMethods();
    void completeOnlyWhenATemplatedMethodRanAndAllPassed();
    void nullSettingsIsAnErrorAndBatchSettingsNameTheTemplate();
    void checkSampleBatchPassesAndAnotherSampleFails();
    void uploadsRecordAndProgressOneAtATime();
    void uploadFailsWhenAProgressFileIsMissing();

private:
    std::unique_ptr<LogCapture> m_log;
};

void TstFinalQc::initTestCase()
{
    m_log.reset(new LogCapture);
    auto &environment = FactoryTestEnv::start();
    QVERIFY(environment.seedModelData("default"));
    environment.network().setInstrumentSerial(serial());
}

void TstFinalQc::cleanupTestCase()
{
    env().settleBeforeExit();
}

void TstFinalQc::init()
{
    QDir(profile() + "/templates").removeRecursively();
    QDir(XrfMethod::methodsFolder(profile())).removeRecursively();
    QFile::remove(env().lastResultPath());
    env().onFactoryThread([] { env().worker()->finalQcStatus = QJsonObject(); });
    env().cloud().setPackage(SimCloudPackage::FinalQcTemplates, "finalQcTemplates.zip",
                             SimFinalQcTemplates::forCalibrationDefaults(kDefaults));
    m_log->clear();
}

void TstFinalQc::templatesArchiveIsUnpackedByBaseNameReplacingOldTemplates()
{
    writeTemplate("old_fqc.json", "retired");
    SimZipArchive archive;
    archive.add("nested/alloy-ISC_fqc.json", R"({"methodId": "alloy-ISC"})");
    archive.add("soil_fqc.json", R"({"methodId": "soil"})");
    archive.add("readme.txt", "not a template");
    env().cloud().setPackage(SimCloudPackage::FinalQcTemplates, "../../fqc.zip", archive.finish());
    QVERIFY(download());
    QCOMPARE(QDir(templatesDir()).entryList(QDir::Files),
             QStringList({"alloy-ISC_fqc.json", "soil_fqc.json"}));
}

void TstFinalQc::hostileArchiveIsRefusedAndKeepsTheTemplates()
{
    writeTemplate("kept_fqc.json", "alloy-ISC");
    env().cloud().setPackage(SimCloudPackage::FinalQcTemplates, "fqc.zip",
                             SimFinalQcTemplates::hostile("fqc-escape.json"));
    QVERIFY(!download());
    QVERIFY(m_log->contains("Failed to unpack final QC templates", QtWarningMsg));
    QCOMPARE(QDir(templatesDir()).entryList(QDir::Files), QStringList({"kept_fqc.json"}));
    QVERIFY(!QFile::exists(profile() + "/fqc-escape.json"));
    QVERIFY(!QFile::exists(profile() + "/templates/fqc-escape.json"));
}

void TstFinalQc::missingTemplatesFailWithTheMetaInfoText()
{
    env().cloud().setPackage(SimCloudPackage::FinalQcTemplates, QString(), QByteArray());
    const QString text = "Request to get final QC templates meta info failed OR returned "
                         "expected response";
    QVERIFY(!download());
    QVERIFY(m_log->contains(text + ", response:", QtWarningMsg));
    QCOMPARE(env().manager()->currentTaskStatus(), text);
}

void TstFinalQc::lastTemplateByNameServesAMethod()
{
    writeTemplate("b_fqc.json", "alloy-ISC");
    writeTemplate("a_fqc.json", "alloy-ISC");
    QFile broken(templatesDir() + "c_fqc.json");
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("{ not json");
    broken.close();
    const QString found =
        env().onFactoryThread([] { return env().worker()->findFinalQcTemplate("alloy-ISC"); });
    QCOMPARE(QFileInfo(found).fileName(), QString("b_fqc.json"));
    QVERIFY(m_log->contains("Unable to parse", QtWarningMsg));
    QVERIFY(env()
                .onFactoryThread([] { return env().worker()->findFinalQcTemplate("soil"); })
                .isEmpty());
}

void TstFinalQc::recordFollowsTheInstalledMethods()
{
    writeTemplate("alloy_fqc.json", "alloy");
    installMethod("alloy", true);
    installMethod("soil", true);
    installMethod("mining", true, {{"enable", false}});
    installMethod("demo", true, {{"isFullDemoMethod", true}});
    installMethod("workspace", false);
    QCOMPARE(entry("alloy").value("haveTemplate").toBool(), true);
    QCOMPARE(entry("alloy").value("overallStatus").toString(), QString("incomplete"));
    QCOMPARE(entry("soil").value("haveTemplate").toBool(), false);
    QCOMPARE(status().value("status").toArray().size(), 2);

    installMethod("soil", true, {{"enable", false}});
    QCOMPARE(status().value("status").toArray().size(), 1);
}

void TstFinalQc::completeOnlyWhenATemplatedMethodRanAndAllPassed()
{
    installMethod("alloy", true);
    installMethod("soil", true);
    QCOMPARE(status().value("finalQcComplete").toBool(), false); // no template at all
    finishBatch("alloy", true);
    QCOMPARE(storedRecord().value("finalQcComplete").toBool(), false);

    writeTemplate("alloy_fqc.json", "alloy");
    writeTemplate("soil_fqc.json", "soil");
    finishBatch("alloy", true);
    finishBatch("soil", false);
    QCOMPARE(storedRecord().value("finalQcComplete").toBool(), false);
    finishBatch("soil", true);
    QCOMPARE(storedRecord().value("finalQcComplete").toBool(), true);
    QCOMPARE(entry("soil").value("overallStatus").toString(), QString("pass"));
    // A batch of a method without an entry changes no entry.
    finishBatch("unknown", false);
    QCOMPARE(storedRecord().value("finalQcComplete").toBool(), true);
}

void TstFinalQc::nullSettingsIsAnErrorAndBatchSettingsNameTheTemplate()
{
    QString error;
    QVERIFY(!env().manager()->startFinalQC("alloy", nullptr, &error));
    QVERIFY(error.contains("no batch settings object"));
    writeTemplate("alloy_fqc.json", "alloy");
    QJsonObject settings;
    QVERIFY(env().manager()->startFinalQC("alloy", &settings));
    QCOMPARE(settings.value("type").toString(), QString("batchTests"));
    QCOMPARE(settings.value("batch").toObject().value("selectedTemplate").toString(),
             QString("alloy_fqc"));
    QVERIFY(env().manager()->startFinalQC("soil", &settings));
    QCOMPARE(settings.value("batch").toObject().value("selectedTemplate").toString(), QString());
}

void TstFinalQc::checkSampleBatchPassesAndAnotherSampleFails()
{
    installMethod("alloy", false);
    writeTemplate("alloy_fqc.json", "alloy");
    QStringList calibrated;
    QString error;
    QVERIFY2(SimCheckCalibration::calibrateFromCheckSamples(env().instrument(), profile(),
                                                            &calibrated, &error),
             qPrintable(error));
    QCOMPARE(calibrated, QStringList({"alloy"}));
    QCOMPARE(entry("alloy").value("haveTemplate").toBool(), true);

    XrfBatchManager *batch = XrfTestManager::instance()->batchManager();
    for (const QString &sample : {QString("SS304"), QString("Inconel625")}) {
        QJsonObject settings;
        QVERIFY(env().manager()->startFinalQC("alloy", &settings));
        env().instrument().loadSample(sample);
        QSignalSpy complete(batch, &XrfBatchManager::batchComplete);
        QVERIFY2(batch->startBatch(settings, &error), qPrintable(error));
        QVERIFY(complete.wait(30000));
        const bool passed = sample == "SS304";
        QCOMPARE(complete.first().first().toBool(), passed);
        env().drainFactoryThread();
        QCOMPARE(entry("alloy").value("overallStatus").toString(),
                 QString(passed ? "pass" : "fail"));
        QJsonValue progress;
        QVERIFY(XrfUtils::readJsonFile(profile() + "/alloy_fqc_progress.json", &progress));
        QCOMPARE(progress.toObject().value("passed").toBool(), passed);
        QCOMPARE(progress.toObject().value("elements").toArray().size(), 2);
    }
    QJsonObject settings{{"type", "batchTests"},
                         {"batch", QJsonObject{{"selectedTemplate", "../x"}}}};
    QVERIFY(!batch->startBatch(settings, &error));
}

void TstFinalQc::uploadsRecordAndProgressOneAtATime()
{
    for (const QString &id : {QString("alloy"), QString("soil")}) {
        installMethod(id, true);
        writeTemplate(id + "_fqc.json", id);
        writeJson(profile() + "/" + id + "_fqc_progress.json", {{"methodId", id}});
        finishBatch(id, true);
    }
    const int before = env().cloud().uploadedFiles(serial()).size();
    QCOMPARE(uploadAndWait(), QString("Final QC data uploaded."));
    const QList<SimCloudFile> files = env().cloud().uploadedFiles(serial()).mid(before);
    QCOMPARE(files.size(), 2);
    QCOMPARE(files.at(0).name, QString("alloy_fqc_progress.zip"));
    QCOMPARE(files.at(1).name, QString("soil_fqc_progress.zip"));
    QCOMPARE(files.at(0).meta.value("correlationId"), files.at(1).meta.value("correlationId"));
    const QJsonObject record =
        env().cloud().receivedResults(serial(), XrfNetworkManager::PutFinalQcResult).last();
    const QJsonObject sent = record.contains("body") ? record.value("body").toObject() : record;
    QCOMPARE(sent.value("data").toObject(), storedRecord());
    QCOMPARE(env().manager()->currentTaskProgress(), 100.0);
    QVERIFY(!QFile::exists(profile() + "/alloy_fqc_progress.zip"));
}

void TstFinalQc::uploadFailsWhenAProgressFileIsMissing()
{
    for (const QString &id : {QString("alloy"), QString("soil")}) {
        installMethod(id, true);
        writeTemplate(id + "_fqc.json", id);
        finishBatch(id, true);
    }
    QFile::remove(profile() + "/alloy_fqc_progress.json");
    writeJson(profile() + "/soil_fqc_progress.json", {{"methodId", "soil"}});
    const int before = env().cloud().uploadedFiles(serial()).size();
    QCOMPARE(uploadAndWait(), QString("Final QC upload failed"));
    QCOMPARE(env().cloud().uploadedFiles(serial()).size(), before + 1);
    QVERIFY(m_log->contains("Final QC upload failed:", QtWarningMsg));
    QCOMPARE(env().manager()->currentTaskProgress(), 0.0);
}

QTEST_GUILESS_MAIN(TstFinalQc)
#include "tst_finalqc.moc"
