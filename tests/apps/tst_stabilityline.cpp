// The stability steps on the factory line: each stability scenario fails with its own text, and
// a line killed in the middle of a run resumes on the same root without a torn file.

#include <QtTest>

#include <signal.h>
#include <sys/types.h>

namespace {

const QString kPrepare = QStringLiteral("provisioning,hardwareSetup");

struct Result
{
    int exitCode = -1;
    QString out;
};

Result xrfFactory(const QStringList &arguments, int timeoutMs = 240000)
{
    QProcess process;
    process.start(QStringLiteral(XRF_FACTORY_BIN), arguments);
    Result result;
    if (!process.waitForFinished(timeoutMs))
        return result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    return result;
}

int fileCount(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files).size();
}

// Every JSON file below the folder reads whole.
QStringList tornJsonFiles(const QString &folder)
{
    QStringList torn;
    QDirIterator it(folder, {"*.json"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        QJsonParseError error;
        if (!file.open(QIODevice::ReadOnly)
            || (QJsonDocument::fromJson(file.readAll(), &error),
                error.error != QJsonParseError::NoError))
            torn << file.fileName();
    }
    return torn;
}

} // namespace

class TstStabilityLine : public QObject
{
    Q_OBJECT

private slots:
    void scenarioFailsWithItsText_data();
    void scenarioFailsWithItsText();
    void killedRunResumes_data();
    void killedRunResumes();
};

void TstStabilityLine::scenarioFailsWithItsText_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("expected");
    const QString plain = kPrepare + ",stability";
    const QString both = plain + ",collimatedStability";
    QTest::newRow("noisy-detector")
        << "noisy-detector" << plain
        << "stability +FAILED .*Stability preflight check failed, dark rate:\\d+ is greater than "
           "set threshold:5";
    QTest::newRow("detector-ready-stuck")
        << "detector-ready-stuck" << plain
        << "stability +FAILED .*Instrument is not ready for stability. Detector is not ready even "
           "after waiting for 30 seconds.";
    QTest::newRow("tube-arcs-when-hot")
        << "tube-arcs-when-hot" << plain
        << "stability +FAILED .*verdict fail.* shots retried: Exposure ended by a hardware error "
           "\\(HV supply: arc counter 1\\)";
    QTest::newRow("spectrum-updates-stop")
        << "spectrum-updates-stop" << plain
        << "stability +FAILED .*verdict fail.* shots retried: .*\\(Inactivity timer triggered\\)";
    QTest::newRow("tube-output-drift")
        << "tube-output-drift" << plain << "stability +FAILED .*verdict fail; ICR [0-9.-]+ kcps";
    QTest::newRow("filter-wheel-jitter")
        << "filter-wheel-jitter" << both
        << "collimatedStability +FAILED .*Make filter wheel stable\\.";
    QTest::newRow("focal-spot-drift")
        << "focal-spot-drift" << both
        << "collimatedStability +FAILED .*Collimated stability failed, "
           "calculated Br/Cu RSD: .*freeze filter mode.Replace tube.";
    QTest::newRow("cloud-offline-at-upload")
        << "cloud-offline-at-upload" << plain
        << "stability +FAILED .*Failed to upload stability summary, device is not connected to "
           "internet. Wireless LAN: Not Connected, Ethernet: Not Connected";
    QTest::newRow("cloud-verdict-fail")
        << "cloud-verdict-fail" << plain << "stability +FAILED .*15 shots, verdict fail";
    QTest::newRow("spectra-upload-refused")
        << "spectra-upload-refused" << plain
        << "stability +FAILED .*Failed to upload stability spectra, error:HTTP 507";
}

void TstStabilityLine::scenarioFailsWithItsText()
{
    QFETCH(QString, scenario);
    QFETCH(QString, steps);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const Result run = xrfFactory({"run", "--root", dir.path(), "--steps", steps, "--time-scale",
                                   "0.001", "--scenario", scenario});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.out.contains(QRegularExpression("hardwareSetup +PASSED")), qPrintable(run.out));
    QVERIFY2(run.out.contains(QRegularExpression(expected)), qPrintable(run.out));
}

void TstStabilityLine::killedRunResumes_data()
{
    QTest::addColumn<int>("shotsAtKill");
    QTest::addColumn<QString>("earlier");
    // At least the minimum of 10 shots: assembled and uploaded, then run again.
    QTest::newRow("data kept") << 11 << "earlier run: The stability run stopped after";
    // Fewer: discarded, then run again.
    QTest::newRow("data discarded") << 2 << "";
}

void TstStabilityLine::killedRunResumes()
{
    QFETCH(int, shotsAtKill);
    QFETCH(QString, earlier);
    QTemporaryDir dir;
    const QString root = dir.path();
    QCOMPARE(
        xrfFactory({"run", "--root", root, "--steps", kPrepare, "--time-scale", "0.001"}).exitCode,
        0);

    QProcess line;
    line.start(QStringLiteral(XRF_FACTORY_BIN),
               {"run", "--root", root, "--steps", "stability", "--time-scale", "0.01"});
    const QString summary = root + "/home/factoryData/stability/inProgress/summary";
    QVERIFY(QTest::qWaitFor([&] { return fileCount(summary) >= shotsAtKill; }, 120000));
    ::kill(pid_t(line.processId()), SIGKILL);
    QVERIFY(line.waitForFinished(10000));
    QVERIFY2(tornJsonFiles(root + "/home").isEmpty(),
             qPrintable(tornJsonFiles(root + "/home").join(", ")));

    const Result resumed =
        xrfFactory({"run", "--root", root, "--steps", "stability", "--time-scale", "0.001"});
    QVERIFY2(resumed.out.contains(
                 QRegularExpression("stability +PASSED +[0-9.]+ +15 shots, verdict pass")),
             qPrintable(resumed.out));
    QCOMPARE(resumed.exitCode, 0);
    QCOMPARE(resumed.out.contains("the data of an earlier run is assembled and uploaded first"),
             !earlier.isEmpty());
    if (!earlier.isEmpty())
        QVERIFY(resumed.out.contains(earlier));
    QCOMPARE(fileCount(root + "/home/factoryData/stability/completed"), 0);
    QVERIFY(tornJsonFiles(root + "/home").isEmpty());
}

QTEST_GUILESS_MAIN(TstStabilityLine)
#include "tst_stabilityline.moc"
