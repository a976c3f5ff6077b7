// The remote method diagnostic and update packages: what goes in, the results database export,
// the names, the uploads, and the package folders that go once the upload ended.

#include "archivetools.h"
#include "factorytestenv.h"
#include "logcapture.h"
#include "simcloudserver.h"
#include "simnetworkmanager.h"
#include "simresults.h"
#include "xrfresultmanager.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

constexpr int kResultDays = 5;
constexpr int kResultsPerDay = 2;

Worker *worker()
{
    return FactoryTestEnv::get().worker();
}

QString serial()
{
    return XrfHardwareManager::instance()->hardwareConfig()->insSerialNumber();
}

void writeFile(const QString &path, const QByteArray &content)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QString device(const QString &path)
{
    return XrfUtils::devicePath(path);
}

int rowsIn(const QByteArray &database)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/export.sqlite";
    writeFile(path, database);
    int rows = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "export");
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery query("SELECT COUNT(*) FROM results", db);
            if (query.next())
                rows = query.value(0).toInt();
        }
    }
    QSqlDatabase::removeDatabase("export");
    return rows;
}

} // namespace

class TstRemoteMethodPackages : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void diagnosticPackageHoldsWhatWasChosen();
    void diagnosticExportsResultsSinceMidnight_data();
    void diagnosticExportsResultsSinceMidnight();
    void diagnosticFailures_data();
    void diagnosticFailures();
    void updatePackageTakesFleetMethodsFirst();
    void updateRefusesUnsafeNames_data();
    void updateRefusesUnsafeNames();

private:
    QJsonObject diagnostic(const XrfProfileZipOption &options);
    QJsonObject update(const QJsonObject &request);
    // The archive the cloud received last for the request id, written to a file.
    QString uploadedArchive(int requestId);

    std::unique_ptr<LogCapture> m_log;
    std::unique_ptr<QTemporaryDir> m_downloads;
    QObject m_receiver;
    QList<QJsonObject> m_diagnostics;
    QList<QJsonObject> m_updates;
    QString m_profile;
};

void TstRemoteMethodPackages::initTestCase()
{
    m_log.reset(new LogCapture);
    m_downloads.reset(new QTemporaryDir);
    auto &env = FactoryTestEnv::start();
    QVERIFY(env.seedModelData("default"));
    env.network().setInstrumentSerial(serial());
    QString error;
    QVERIFY2(SimResults::seed(QDateTime::currentDateTimeUtc(), kResultDays, kResultsPerDay, &error),
             qPrintable(error));
    m_profile = env.homePath() + "/profile";
    for (const char *method : {"Alloy", "Mining", "Devices", "MethodBuilderData"})
        writeFile(
            QString("%1/instrumentsettings/methods/%2/CalcMethod_%2.json").arg(m_profile, method),
            "instrument");
    writeFile(device("/media/sdcard/app.log"), "log");
    writeFile(device("/media/sdcard/app.log.old"), "older log");
    writeFile(device("/media/sdcard/notes.txt"), "not a log");
    writeFile(device("/media/sdcard/logs/crash-1.txt"), "crash");
    writeFile(device("/media/sdcard/instrumentdata/calcdebug/test-1.json"), "{}");
    writeFile(device("/media/sdcard/Tarvo/exports/export-1.csv"), "Fe,0.7");
    connect(env.manager(), &XrfFactoryManager::remoteMethodDiagnosticUploadComplete, &m_receiver,
            [this](const QJsonObject &results) { m_diagnostics << results; });
    connect(env.manager(), &XrfFactoryManager::remoteMethodUpdateUploadComplete, &m_receiver,
            [this](const QJsonObject &results) { m_updates << results; });
}

void TstRemoteMethodPackages::cleanupTestCase()
{
    FactoryTestEnv::get().settleBeforeExit();
}

void TstRemoteMethodPackages::init()
{
    FactoryTestEnv::get().cloud().clearScripts();
    m_diagnostics.clear();
    m_updates.clear();
    m_log->clear();
}

QJsonObject TstRemoteMethodPackages::diagnostic(const XrfProfileZipOption &options)
{
    QMetaObject::invokeMethod(FactoryTestEnv::get().manager(), "remoteMethodDiagnosticUpload",
                              Qt::QueuedConnection, Q_ARG(XrfProfileZipOption, options),
                              Q_ARG(QString, "J.D."));
    if (!QTest::qWaitFor([this] { return !m_diagnostics.isEmpty(); }, 60000))
        return QJsonObject();
    return m_diagnostics.takeFirst();
}

QJsonObject TstRemoteMethodPackages::update(const QJsonObject &request)
{
    QMetaObject::invokeMethod(FactoryTestEnv::get().manager(), "remoteMethodUpdateUpload",
                              Qt::QueuedConnection, Q_ARG(QJsonObject, request));
    if (!QTest::qWaitFor([this] { return !m_updates.isEmpty(); }, 60000))
        return QJsonObject();
    return m_updates.takeFirst();
}

QString TstRemoteMethodPackages::uploadedArchive(int requestId)
{
    SimCloudServer &cloud = FactoryTestEnv::get().cloud();
    SimCloudFile last;
    for (const SimCloudFile &file : cloud.uploadedFiles(serial()))
        if (file.requestId == requestId)
            last = file;
    const QString path = m_downloads->path() + "/" + last.id + ".zip";
    writeFile(path, cloud.fileContent(last.id));
    return path;
}

void TstRemoteMethodPackages::diagnosticPackageHoldsWhatWasChosen()
{
    XrfProfileZipOption options;
    options.setLogFiles(true);
    options.setCrashLogFiles(true);
    options.setExportFiles(true);
    options.setScreenShotFiles(true); // nothing to take: skipped
    const QJsonObject results = diagnostic(options);
    QVERIFY2(results.value("status").toBool(), qPrintable(results.value("errorMsg").toString()));
    const QString name = results.value("metaInfo").toObject().value("name").toString();
    QVERIFY2(QRegularExpression(
                 QString("^RMD_%1_\\d\\d-\\d\\d-\\d{4}_\\d\\d:\\d\\d\\.zip$").arg(serial()))
                 .match(name)
                 .hasMatch(),
             qPrintable(name));
    const QString archive = uploadedArchive(XrfNetworkManager::UploadRemoteMethodDiagnostic);
    QString output;
    QVERIFY2(ArchiveTools::passesUnzipTest(archive, &output), qPrintable(output));
    const QStringList entries = ArchiveTools::entries(archive);
    for (const char *expected :
         {"profile/instrumentsettings/methods/Alloy/CalcMethod_Alloy.json",
          "instrumentdata/db/instrumentResults.sqlite", "signedInitial.txt", "extra/app.log",
          "extra/app.log.old", "extra/logs/crash-1.txt", "extra/exports/export-1.csv"})
        QVERIFY2(entries.contains(expected), expected);
    for (const char *absent :
         {"extra/notes.txt", "extra/calcdebug/test-1.json", "factoryData/workOrderInfo.json"})
        QVERIFY2(!entries.contains(absent), absent);
    QCOMPARE(ArchiveTools::entry(archive, "signedInitial.txt"), QByteArray("J.D."));
    // The package, its archive and the export are gone once the upload ended.
    QVERIFY(!QFileInfo::exists(worker()->remoteMethodFolder("RMD")));
}

void TstRemoteMethodPackages::diagnosticExportsResultsSinceMidnight_data()
{
    QTest::addColumn<int>("days");
    QTest::addColumn<int>("rows");
    QTest::newRow("today") << 0 << kResultsPerDay;
    QTest::newRow("two days back") << 2 << 3 * kResultsPerDay;
    QTest::newRow("before the first result") << 30 << kResultDays * kResultsPerDay;
}

void TstRemoteMethodPackages::diagnosticExportsResultsSinceMidnight()
{
    QFETCH(int, days);
    QFETCH(int, rows);
    XrfProfileZipOption options;
    options.setDaysOfResult(days);
    QVERIFY(diagnostic(options).value("status").toBool());
    const QString archive = uploadedArchive(XrfNetworkManager::UploadRemoteMethodDiagnostic);
    QCOMPARE(rowsIn(ArchiveTools::entry(archive, "instrumentdata/db/instrumentResults.sqlite")),
             rows);
    QVERIFY(m_log->contains("createUploadZipFile startDateString : "));
}

void TstRemoteMethodPackages::diagnosticFailures_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message");
    QTest::newRow("no profile path") << "profile"
                                     << "RMD failed, profile path is not set";
    QTest::newRow("serial not a number")
        << "serial"
        << "RMD upload failed, the instrument serial number 'unit7' is not a number.";
    QTest::newRow("upload refused") << "cloud"
                                    << "HTTP 503";
}

void TstRemoteMethodPackages::diagnosticFailures()
{
    QFETCH(QString, fault);
    QFETCH(QString, message);
    auto &env = FactoryTestEnv::get();
    if (fault == "profile")
        env.onFactoryThread([] { worker()->profilePath.clear(); });
    else if (fault == "serial")
        env.onFactoryThread([] { worker()->hardwareConfig.setInsSerialNumber("unit7"); });
    else
        env.cloud().scriptFailure(XrfNetworkManager::UploadRemoteMethodDiagnostic, 503, "busy");
    const QJsonObject results = diagnostic(XrfProfileZipOption());
    env.onFactoryThread([this] {
        worker()->profilePath = m_profile;
        worker()->hardwareConfig.setInsSerialNumber(serial());
    });
    QCOMPARE(results.value("status").toBool(), false);
    QVERIFY2(results.value("errorMsg").toString().contains(message),
             qPrintable(results.value("errorMsg").toString()));
    QCOMPARE(env.onFactoryThread([] { return worker()->currentTaskStatus; }),
             QStringLiteral("Upload failed"));
    QVERIFY(!QFileInfo::exists(worker()->remoteMethodFolder("RMD")));
}

void TstRemoteMethodPackages::updatePackageTakesFleetMethodsFirst()
{
    const QString fleet = FactoryTestEnv::get().homePath() + "/fleet/FleetA";
    writeFile(fleet + "/instrumentsettings/admin.json", "{}");
    writeFile(fleet + "/instrumentsettings/user_7.json", "{}");
    writeFile(fleet + "/instrumentsettings/other.json", "{}");
    writeFile(fleet + "/instrumentsettings/global/site.json", "{}");
    writeFile(fleet + "/libraries/grades.json", "{}");
    writeFile(fleet + "/templates/report.json", "{}");
    writeFile(fleet + "/instrumentsettings/methods/Alloy/CalcMethod_Alloy.json", "fleet");
    writeFile(fleet + "/instrumentsettings/methods/Devices/CalcMethod_Devices.json", "fleet");
    const QJsonObject results = update({{"fleetProfile", fleet}, {"serial", serial()}});
    QVERIFY2(results.value("status").toBool(), qPrintable(results.value("errorMsg").toString()));
    const QString name = results.value("metaInfo").toObject().value("name").toString();
    QVERIFY2(QRegularExpression(QString("^%1_FP-FleetA_\\d{6}_\\d{4}\\.zip$").arg(serial()))
                 .match(name)
                 .hasMatch(),
             qPrintable(name));
    const QString archive = uploadedArchive(XrfNetworkManager::UploadRemoteMethodUpdate);
    QVERIFY(ArchiveTools::passesUnzipTest(archive));
    const QStringList entries = ArchiveTools::entries(archive);
    const QString methods = "profile/instrumentsettings/methods/";
    for (const QString &expected :
         {QString("profile/instrumentsettings/admin.json"),
          QString("profile/instrumentsettings/user_7.json"),
          QString("profile/instrumentsettings/global/site.json"),
          QString("profile/libraries/grades.json"), QString("profile/templates/report.json"),
          methods + "Mining/CalcMethod_Mining.json"})
        QVERIFY2(entries.contains(expected), qPrintable(expected));
    QVERIFY(!entries.contains("profile/instrumentsettings/other.json"));
    QVERIFY(!entries.contains(methods + "MethodBuilderData/CalcMethod_MethodBuilderData.json"));
    QCOMPARE(ArchiveTools::entry(archive, methods + "Alloy/CalcMethod_Alloy.json"),
             QByteArray("fleet"));
    QCOMPARE(ArchiveTools::entry(archive, methods + "Devices/CalcMethod_Devices.json"),
             QByteArray("instrument"));
    QVERIFY(!QFileInfo::exists(worker()->remoteMethodFolder("RMU")));
}

void TstRemoteMethodPackages::updateRefusesUnsafeNames_data()
{
    QTest::addColumn<QJsonObject>("request");
    QTest::addColumn<QString>("message");
    QTest::newRow("method climbing out") << QJsonObject{{"methodId", "../Alloy"}}
                                         << "RMU upload failed, invalid methodId '../Alloy'.";
    QTest::newRow("serial with a path")
        << QJsonObject{{"serial", "a/b"}} << "RMU upload failed, invalid serial 'a/b'.";
    QTest::newRow("missing fleet profile")
        << QJsonObject{{"fleetProfile", "/nowhere/FleetB"}}
        << "RMU upload failed, fleet profile /nowhere/FleetB does not exist.";
    QTest::newRow("unknown method") << QJsonObject{{"methodId", "Soil"}}
                                    << "RMU upload failed, method Soil is in neither profile.";
}

void TstRemoteMethodPackages::updateRefusesUnsafeNames()
{
    QFETCH(QJsonObject, request);
    QFETCH(QString, message);
    const int uploads = FactoryTestEnv::get().cloud().uploadedFiles(serial()).size();
    const QJsonObject results = update(request);
    QCOMPARE(results.value("status").toBool(), false);
    QCOMPARE(results.value("errorMsg").toString(), message);
    QCOMPARE(FactoryTestEnv::get().cloud().uploadedFiles(serial()).size(), uploads);
    QVERIFY(!QFileInfo::exists(worker()->remoteMethodFolder("RMU")));
}

QTEST_GUILESS_MAIN(TstRemoteMethodPackages)
#include "tst_remotemethodpackages.moc"
