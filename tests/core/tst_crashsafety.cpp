// A process that is killed while it saves lastResult.json leaves the old or the new image,
// never a torn file.

#include <QtTest>

#include <QRandomGenerator>

#include <signal.h>

class TstCrashSafety : public QObject
{
    Q_OBJECT

private slots:
    void killedWritersNeverLeaveATornFile();
};

namespace {

// The image is complete when the payload and every shot carry its sequence number.
bool isCompleteImage(const QJsonObject &image, QString *why)
{
    const int sequence = image.value("sequence").toInt(-1);
    if (sequence < 1) {
        *why = "no sequence number";
        return false;
    }
    const QString payload = image.value("payload").toString();
    if (payload != QString(20000, QChar(QLatin1Char('a' + sequence % 26)))) {
        *why = "payload of another image";
        return false;
    }
    const QJsonArray shots = image.value("airShot").toObject().value("airShots").toArray();
    if (shots.size() != 400) {
        *why = QStringLiteral("%1 shots").arg(shots.size());
        return false;
    }
    for (const QJsonValue &shot : shots) {
        if (shot.toObject().value("sequence").toInt() != sequence) {
            *why = "shot of another image";
            return false;
        }
    }
    return true;
}

} // namespace

void TstCrashSafety::killedWritersNeverLeaveATornFile()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString writer = QCoreApplication::applicationDirPath() + "/lastresult_writer";
    const QString lastResult = root.path() + "/home/factoryData/lastResult.json";
    QRandomGenerator random(20261206);
    int previousSequence = 0;
    int kills = 0;
    for (int round = 0; round < 40; ++round) {
        QProcess process;
        process.start(writer, {root.path()});
        QVERIFY2(process.waitForStarted(), qPrintable(process.errorString()));
        QVERIFY2(process.waitForReadyRead(30000), "writer never became ready");
        QTest::qWait(int(random.bounded(1, 40)));
        ::kill(pid_t(process.processId()), SIGKILL);
        QVERIFY(process.waitForFinished(10000));
        kills += process.exitStatus() == QProcess::CrashExit ? 1 : 0;

        QFile file(lastResult);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
        QVERIFY2(error.error == QJsonParseError::NoError,
                 qPrintable(QStringLiteral("round %1: %2").arg(round).arg(error.errorString())));
        QString why;
        QVERIFY2(isCompleteImage(document.object(), &why),
                 qPrintable(QStringLiteral("round %1: %2").arg(round).arg(why)));
        const int sequence = document.object().value("sequence").toInt();
        QVERIFY2(sequence > previousSequence, "a killed writer lost an image it had saved");
        previousSequence = sequence;
    }
    QCOMPARE(kills, 40);
}

QTEST_GUILESS_MAIN(TstCrashSafety)
#include "tst_crashsafety.moc"
