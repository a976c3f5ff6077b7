// The stray radiation of the simulated instrument and the survey meters that measure it: the
// dose rate follows the tube, and the default data's thresholds and meter factors pass a sound
// instrument and fail one with a gap in its shielding.

#include "simleakage.h"
#include "simpresets.h"
#include "simsurveymeter.h"
#include "xrfradiationsurveyresult.h"
#include "xrfutils.h"

#include <QtTest>

namespace {

double microRPerHour(const QString &model, double kv, double ua, double gap = 0)
{
    SimShielding shielding;
    shielding.gapFraction = gap;
    return strayRadiation(SimModelPreset::byModel(model).tube, kv, ua, shielding)
        .microRoentgenPerHour();
}

XrfRadiationSurveyParam surveyParam(const QString &model)
{
    const QString suffix = model == QLatin1String("default") ? QString() : model;
    QJsonValue data;
    XrfUtils::readJsonFile(
        QStringLiteral(XRF_DATA_DIR "/%1/factoryData/factory_setup_data%2.json").arg(model, suffix),
        &data);
    XrfRadiationSurveyParams params;
    params.fromJsonObject(
        data.toObject().value("factorySetupInfo").toObject().value("radiationSurvey").toObject());
    return params.params().value(0);
}

} // namespace

class TstSurveyMeter : public QObject
{
    Q_OBJECT

private slots:
    void strayRadiationFollowsTheTube();
    void metersShowBackgroundWithTheTubeOff();
    void defaultDataFitsEveryModel_data();
    void defaultDataFitsEveryModel();
};

void TstSurveyMeter::strayRadiationFollowsTheTube()
{
    const double nominal = microRPerHour("default", 50, 80);
    QVERIFY(nominal > 0);
    QCOMPARE(qRound(microRPerHour("default", 50, 40) * 1000), qRound(nominal * 500));
    QVERIFY(microRPerHour("default", 40, 80) < nominal);
    QCOMPARE(microRPerHour("default", 0, 80), 0.0);
    QVERIFY(microRPerHour("default", 50, 80, 0.001) > 100 * nominal);
}

void TstSurveyMeter::metersShowBackgroundWithTheTubeOff()
{
    const SimStrayField none;
    QCOMPARE(SimSurveyMeter(SimSurveyMeter::Blue, SimSurveyMeter::MicroRoentgenPerHour).read(none),
             12.0);
    QCOMPARE(
        SimSurveyMeter(SimSurveyMeter::Yellow, SimSurveyMeter::MilliRoentgenPerHour).read(none),
        0.01);
}

void TstSurveyMeter::defaultDataFitsEveryModel_data()
{
    QTest::addColumn<QString>("model");
    for (const QString &model : SimModelPreset::models())
        QTest::newRow(qPrintable(model)) << model;
}

// At the survey exposure a sound instrument reads below half the threshold on either meter once
// corrected, and a gap that lets 0.1 % of the stray radiation past the lead reads above it.
void TstSurveyMeter::defaultDataFitsEveryModel()
{
    QFETCH(QString, model);
    const XrfRadiationSurveyParam param = surveyParam(model);
    QString problem;
    QVERIFY2(param.validate(&problem), qPrintable(problem));
    const SimTubeSpec tube = SimModelPreset::byModel(model).tube;
    const double kv = param.exposure().tubeVoltageKv();
    const double ua = param.exposure().tubeCurrentUa();
    QVERIFY(kv <= tube.maxKv && kv * ua <= tube.maxPowerW * 1000.0);
    const double threshold = param.milliRadPerHourThreshold() * 1000;
    const QList<QPair<SimSurveyMeter::Type, double>> meters = {
        {SimSurveyMeter::Blue, param.blueMeterCorrectionFactor()},
        {SimSurveyMeter::Yellow, param.yellowMeterCorrectionFactor()}};
    for (const auto &meter : meters) {
        const SimSurveyMeter survey(meter.first, SimSurveyMeter::MicroRoentgenPerHour);
        SimShielding shielding;
        const double sound = survey.read(strayRadiation(tube, kv, ua, shielding)) * meter.second;
        shielding.gapFraction = 0.001;
        const double gap = survey.read(strayRadiation(tube, kv, ua, shielding)) * meter.second;
        QVERIFY2(sound < threshold / 2, qPrintable(QString::number(sound)));
        QVERIFY2(gap > threshold, qPrintable(QString::number(gap)));
    }
}

QTEST_GUILESS_MAIN(TstSurveyMeter)
#include "tst_surveymeter.moc"
