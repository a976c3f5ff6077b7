// The end of the factory line on every model: provisioning, the radiation survey and the profile
// backup pass, each scenario of the survey and the backup fails with its own text, and a complete
// instrument is handed over only when its profile reached the cloud.

#include "linerun.h"

#include <QtTest>

namespace {

using Run = LineRun;

Run xrfFactory(const QStringList &arguments)
{
    return LineRun::run(QStringLiteral(XRF_FACTORY_BIN), arguments, 240000);
}

QJsonObject readJson(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QJsonObject();
    return QJsonDocument::fromJson(file.readAll()).object();
}

// An instrument whose factory steps are all complete, as the cloud left it after the factor set.
void seedCompleteInstrument(const QString &root)
{
    const QString settings = root + "/home/profile/instrumentsettings/universalSettings.json";
    QVERIFY(QDir().mkpath(QFileInfo(settings).absolutePath()));
    QFile file(settings);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"factory.settings": {"factoryStepsCompleted": 12}})");
}

} // namespace

class TstSurveyLine : public QObject
{
    Q_OBJECT

private slots:
    void endOfTheLine_data();
    void endOfTheLine();
};

void TstSurveyLine::endOfTheLine_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("handedOver");

    const QString passed =
        "radiationSurvey +PASSED .*\\n.*profileBackup +PASSED +[0-9.]+ +uploaded "
        "factory_profile_\\d\\d-\\d\\d-\\d{4}_\\d\\d:\\d\\d\\.zip";
    for (const char *model : {"default", "LT", "MP", "HD", "Harrier"})
        QTest::newRow(model) << model << QString() << false << passed << false;
    QTest::newRow("complete instrument") << "default" << QString() << true << passed << true;
    QTest::newRow("survey-shield-gap")
        << "default"
        << "survey-shield-gap" << false
        << "radiationSurvey +FAILED .* Radiation survey failed, monitored reading: \\d+uR/hr is "
           "greater than expected threshold: 200 uR/hr"
        << false;
    QTest::newRow("survey-hardware-error")
        << "MP"
        << "survey-hardware-error" << false
        << "radiationSurvey +FAILED .* Radition survey failed, exposure ended due to:Exposure "
           "ended by a hardware error, faults:HV supply: arc counter 1, HV tripped"
        << false;
    QTest::newRow("survey-unprovisioned")
        << "LT"
        << "survey-unprovisioned" << false
        << "radiationSurvey +FAILED .* Failed to determine instrument model\\.\\n"
        << false;
    QTest::newRow("profile-upload-refused")
        << "Harrier"
        << "profile-upload-refused" << true << "profileBackup +FAILED .*Profile storage unavailable"
        << false;
}

void TstSurveyLine::endOfTheLine()
{
    QFETCH(QString, model);
    QFETCH(QString, scenario);
    QFETCH(bool, complete);
    QFETCH(QString, expected);
    QFETCH(bool, handedOver);
    QTemporaryDir dir;
    if (complete)
        seedCompleteInstrument(dir.path());
    QStringList arguments{"run",
                          "--root",
                          dir.path(),
                          "--model",
                          model,
                          "--steps",
                          "provisioning,radiationSurvey,profileBackup",
                          "--time-scale",
                          "0.001"};
    if (!scenario.isEmpty())
        arguments << "--scenario" << scenario;
    const Run run = xrfFactory(arguments);
    QVERIFY2(run.out.contains(QRegularExpression(expected)), qPrintable(run.out));
    QCOMPARE(run.exitCode, scenario.isEmpty() ? 0 : 1);
    const QJsonObject settings =
        readJson(dir.path() + "/home/profile/instrumentsettings/universalSettings.json");
    const QJsonObject config = settings.value("hardware.config").toObject();
    QCOMPARE(config.contains("forceTestStandRequired"), handedOver);
    QCOMPARE(settings.value("calculation").toObject().contains("calcDebugEnabled"), handedOver);
}

QTEST_GUILESS_MAIN(TstSurveyLine)
#include "tst_surveyline.moc"
