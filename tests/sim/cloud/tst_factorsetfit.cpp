// The simulated cloud's factor set and QC summary: net line intensities, the least-squares fit,
// the verdicts, the method file and the archive round trip through the HTTP cloud.
#include "cloudtestbench.h"
#include "simfactorsetfit.h"
#include "simreferencematerials.h"
#include "xrfcalibrationshot.h"
#include "xrfcalibrationstep.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

#include <cmath>

using namespace SimFactorSetFit;

namespace {

const QString kMethod = QStringLiteral("alloy");
constexpr double kEvPerChannel = 20.0;
constexpr double kLiveTime = 10.0;
constexpr double kPeakSigmaEv = 60.0;
// The share of a Gaussian peak inside the peak region.
const double kPeakShare = std::erf(kPeakHalfWidthEv / (kPeakSigmaEv * std::sqrt(2.0)));

// A spectrum with a sloped background and Gaussian peaks of the given rates (cps) at the given
// line energies (keV).
XrfSpectrum syntheticSpectrum(const QVector<QPair<double, double>> &peaks)
{
    QVector<quint32> data(2048);
    for (int c = 0; c < data.size(); ++c) {
        const double ev = c * kEvPerChannel;
        double counts = 200.0 - 0.004 * ev;
        for (const auto &peak : peaks) {
            const double z = (ev - peak.first * 1000.0) / kPeakSigmaEv;
            counts += peak.second * kLiveTime * kEvPerChannel / (kPeakSigmaEv * std::sqrt(2 * M_PI))
                * std::exp(-0.5 * z * z);
        }
        data[c] = quint32(std::lround(std::max(0.0, counts)));
    }
    XrfSpectrum spectrum;
    spectrum.setData(data);
    spectrum.setEnergySlope(kEvPerChannel);
    spectrum.setLiveTime(kLiveTime);
    spectrum.setRealTime(kLiveTime);
    return spectrum;
}

double lineEnergy(const QString &symbol)
{
    const int z = XrfUtils::atomicNumber(symbol);
    return fittedLine(z).energyKeV;
}

// Standards and their element rates: what one beam of the instrument would show of each.
using Rates = QMap<QString, double>;

// A method folder as the instrument uploads it: the method file and one shot per standard on
// beam 1.
struct Workspace
{
    explicit Workspace(const QStringList &elements)
    {
        folder = dir.filePath(kMethod);
        const QJsonObject method{{"id", kMethod},
                                 {"isFactorSet", false},
                                 {"elements", QJsonArray::fromStringList(elements)}};
        XrfUtils::writeJsonFile(methodFile(), QJsonDocument(method));
        XrfUtils::writeJsonFile(stepsFile(), QJsonDocument(QJsonObject{{"methodId", kMethod}}));
    }
    QString methodFile() const { return folder + "/CalcMethod_alloy.json"; }
    QString stepsFile() const
    {
        return folder + "/calibrationworkspace/procedure/calibrationsteps.json";
    }
    // `standard`'s shot shows `rates`.
    void addShot(const QString &standard, const Rates &rates)
    {
        XrfCalibrationStep step;
        step.setSampleID(standard);
        step.setBeamNumber(1);
        step.setIsDone(true);
        step.setMethodUses({XrfCalibrationMethodUse(kMethod, 1)});
        XrfExposureSettings exposure;
        exposure.setTubeVoltageKv(40);
        exposure.setMaxTime(10);
        step.setExposure(exposure);
        QVector<QPair<double, double>> peaks;
        for (auto it = rates.cbegin(); it != rates.cend(); ++it)
            peaks.append({lineEnergy(it.key()), it.value()});
        XrfCalibrationShot shot = XrfCalibrationShot::fromStep(step);
        shot.setSpectrum(syntheticSpectrum(peaks));
        QVERIFY(shot.saveCalibrationShot(folder + "/calibrationworkspace/shots"));
        steps.append(step.toJsonObject());
        XrfUtils::writeJsonFile(
            stepsFile(), QJsonDocument(QJsonObject{{"methodId", kMethod}, {"steps", steps}}));
    }
    // Every standard's rate of each element from its certificate: rate = (c - a) / b.
    void addLinearStandards(const QStringList &standards, const QStringList &elements, double a,
                            double b)
    {
        for (const QString &id : standards) {
            Rates rates;
            for (const QString &symbol : elements) {
                const double c =
                    SimReferenceMaterials::find(id)->massFraction(XrfUtils::atomicNumber(symbol));
                rates.insert(symbol, (c - a) / b);
            }
            addShot(id, rates);
        }
    }
    QJsonObject method() const
    {
        QJsonValue value;
        XrfUtils::readJsonFile(methodFile(), &value);
        return value.toObject();
    }
    QJsonObject element(const QString &symbol) const
    {
        const auto list = method().value("calibration")["elements"].toArray();
        for (const QJsonValue &entry : list) {
            if (entry["element"] == symbol)
                return entry.toObject();
        }
        return QJsonObject();
    }

    QTemporaryDir dir;
    QString folder;
    QJsonArray steps;
};

const QStringList kAlloys = {"SS304", "2205", "Inconel625", "Monel400", "C36000"};

} // namespace

class TestFactorSetFit : public QObject
{
    Q_OBJECT

private slots:
    void lineWindowsAroundXraylibEnergies();
    void netIntensityOfSyntheticPeak();
    void fitRecoversLineAndWritesTheMethod();
    void missingOrBrokenWorkspaceIsError6();
    void negativeSlopeOrPoorFitIsApprovalFailed();
    void wrongStandardMakesTheFitPoor();
    void qcSummaryPassesAndFails();
    void archiveRoundTripThroughTheCloud();
    void fitOfLineRoot();

private:
    CloudTestBench bench;
};

void TestFactorSetFit::lineWindowsAroundXraylibEnergies()
{
    QCOMPARE(fittedLine(26).line, XrfUtils::KAlpha);
    QCOMPARE(fittedLine(82).line, XrfUtils::LAlpha);
    QVERIFY(std::abs(lineEnergy("Fe") - 6.40) < 0.006);
    QVERIFY(std::abs(lineEnergy("Pb") - 10.54) < 0.01);
    LineWindows w = lineWindows(6.404);
    QCOMPARE(w.peakLowEv, 6404.0 - kPeakHalfWidthEv);
    QCOMPARE(w.peakHighEv, 6404.0 + kPeakHalfWidthEv);
    QCOMPARE(w.leftHighEv, w.peakLowEv - kBackgroundGapEv);
    QCOMPARE(w.rightHighEv - w.rightLowEv, kBackgroundWidthEv);
    LineWindows read;
    QVERIFY(read.fromJson(w.toJson()));
    QCOMPARE(read.rightHighEv, w.rightHighEv);

    // Among soil elements arsenic's K-alpha sits under lead's L-alpha: arsenic may take its
    // K-beta, lead its L-beta; potassium's windows step past argon and its own K-beta.
    const QVector<double> soil = spectrumLines({19, 20, 26, 33, 82}, 45);
    QCOMPARE(lineName(candidateLines(33, soil).last().line), QString("KB"));
    QCOMPARE(lineName(candidateLines(82, soil).last().line), QString("LB"));
    QCOMPARE(candidateLines(26, soil).size(), 1);
    const double potassium = fittedLine(19).energyKeV;
    w = lineWindows(potassium, soil);
    const double argon = XrfUtils::emissionLineEnergy(18, XrfUtils::KAlpha) * 1000;
    const double kBeta = XrfUtils::emissionLineEnergy(19, XrfUtils::KBeta) * 1000;
    QVERIFY(w.leftHighEv < argon - kPeakHalfWidthEv);
    QVERIFY(w.rightLowEv > kBeta + kPeakHalfWidthEv);
}

void TestFactorSetFit::netIntensityOfSyntheticPeak()
{
    // Chromium's K-beta under manganese's K-alpha is taken off by chromium's K-alpha (xraylib's
    // K-beta/K-alpha rate ratio of chromium: 0.1287).
    const double crAlpha = XrfUtils::emissionLineEnergy(24, XrfUtils::KAlpha);
    const double crBeta = XrfUtils::emissionLineEnergy(24, XrfUtils::KBeta);
    const XrfSpectrum chromium = syntheticSpectrum({{crAlpha, 1000.0}, {crBeta, 128.7}});
    const QVector<double> steel = spectrumLines({24, 25, 26}, 0);
    const double mnAlpha = lineEnergy("Mn");
    const LineWindows mnWindows = lineWindows(mnAlpha, otherLines(steel, mnAlpha));
    const QVector<OverlapCorrection> overlaps = overlapCorrections(mnWindows, 25, {24, 26}, steel);
    QCOMPARE(overlaps.size(), 1);
    QCOMPARE(overlaps.first().element, QString("Cr"));
    double raw = 0, corrected = 0;
    QVERIFY(netLineIntensity(chromium, mnWindows, &raw));
    QVERIFY(elementIntensity(chromium, mnWindows, overlaps, &corrected));
    QVERIFY2(raw > 50 && std::abs(corrected) < 0.05 * raw,
             qPrintable(QString("%1 %2").arg(raw).arg(corrected)));

    double cps = 0;
    QString error;
    QVERIFY(netLineIntensity(syntheticSpectrum({{6.404, 500.0}}), 6.404, &cps, &error));
    QVERIFY2(std::abs(cps - 500.0 * kPeakShare) < 2.0, qPrintable(QString::number(cps)));
    // A sloped background alone nets nothing.
    QVERIFY(netLineIntensity(syntheticSpectrum({}), 6.404, &cps));
    QVERIFY(std::abs(cps) < 1.0);
    // No live time, no energy scale, a line beyond the channels.
    XrfSpectrum spectrum = syntheticSpectrum({});
    spectrum.setLiveTime(0);
    QVERIFY(!netLineIntensity(spectrum, 6.404, &cps, &error));
    QVERIFY(error.contains("live time"));
    QVERIFY(!netLineIntensity(syntheticSpectrum({}), 45.0, &cps, &error));
    QVERIFY(error.contains("outside"));
}

void TestFactorSetFit::fitRecoversLineAndWritesTheMethod()
{
    Workspace ws({"Fe", "Ni", "Co"});
    const double a = 0.002, b = 2.5e-4;
    ws.addLinearStandards(kAlloys, {"Fe", "Ni"}, a, b);
    const RunOutcome outcome = calibrateMethodFolder(ws.folder, kMethod, 77);
    QVERIFY2(outcome.runStatusId == OutputReady, qPrintable(outcome.message));
    const QJsonObject method = ws.method();
    QCOMPARE(method["isFactorSet"].toBool(), true);
    QCOMPARE(method["calibration"]["fittedBy"].toString(), QString("simulated cloud"));
    QCOMPARE(method["calibration"]["runId"].toInt(), 77);
    // No standard certifies cobalt: it cannot be calibrated.
    QCOMPARE(method["calibration"]["uncalibratedElements"].toArray(), QJsonArray{"Co"});
    const QJsonObject fe = ws.element("Fe");
    QCOMPARE(fe["line"].toString(), QString("KA"));
    QCOMPARE(fe["beam"].toInt(), 1);
    QCOMPARE(fe["standards"].toInt(), kAlloys.size());
    QCOMPARE(fe["points"].toArray().size(), kAlloys.size());
    QVERIFY(fe["rSquared"].toDouble() > 0.9999);
    QVERIFY2(std::abs(fe["slope"].toDouble() - b / kPeakShare) < 0.01 * b,
             qPrintable(QString::number(fe["slope"].toDouble())));
    QVERIFY(fe["worstAbsError"].toDouble() < 0.002);
    QVERIFY(kAlloys.contains(fe["worstStandard"].toString()));
    // The installed calibration measures a spectrum the same way.
    double iron = 0;
    QString error;
    const XrfSpectrum ss304 = syntheticSpectrum({{lineEnergy("Fe"), (0.7055 - a) / b}});
    QVERIFY2(measuredConcentration(ss304, fe, &iron, &error), qPrintable(error));
    QVERIFY2(std::abs(iron - 0.7055) < 0.002, qPrintable(QString::number(iron)));
    QVERIFY(!measuredConcentration(ss304, QJsonObject{{"element", "Fe"}}, &iron, &error));
    QVERIFY(error.contains("windowsEv"));
}

void TestFactorSetFit::missingOrBrokenWorkspaceIsError6()
{
    Workspace ws({"Fe"});
    RunOutcome outcome = calibrateMethodFolder(ws.folder, kMethod, 1);
    QCOMPARE(outcome.runStatusId, int(WorkspaceError));
    QVERIFY2(outcome.message.contains("no calibration shots"), qPrintable(outcome.message));

    ws.addLinearStandards(kAlloys, {"Fe"}, 0, 1e-4);
    QDirIterator shots(ws.folder + "/calibrationworkspace/shots", QDir::Files);
    QVERIFY(QFile::remove(shots.next()));
    outcome = calibrateMethodFolder(ws.folder, kMethod, 1);
    QCOMPARE(outcome.runStatusId, int(WorkspaceError));
    QVERIFY2(outcome.message.startsWith("Method alloy: No calibration shot of"),
             qPrintable(outcome.message));

    QFile method(ws.methodFile());
    QVERIFY(method.open(QIODevice::WriteOnly | QIODevice::Truncate));
    method.write("{ not json");
    method.close();
    outcome = calibrateMethodFolder(ws.folder, kMethod, 1);
    QCOMPARE(outcome.runStatusId, int(WorkspaceError));
    QVERIFY2(outcome.message.contains("CalcMethod_alloy.json"), qPrintable(outcome.message));
    QVERIFY(QFile::remove(ws.methodFile()));
    outcome = calibrateMethodFolder(ws.folder, kMethod, 1);
    QCOMPARE(outcome.message,
             QString("Method alloy: Method file CalcMethod_alloy.json is missing"));
}

void TestFactorSetFit::negativeSlopeOrPoorFitIsApprovalFailed()
{
    {
        Workspace ws({"Fe"});
        ws.addLinearStandards(kAlloys, {"Fe"}, 0.8, -2e-4);
        const RunOutcome outcome = calibrateMethodFolder(ws.folder, kMethod, 1);
        QCOMPARE(outcome.runStatusId, int(ApprovalFailed));
        QVERIFY2(outcome.message.startsWith("Method alloy, element Fe (KA, beam 1): slope -"),
                 qPrintable(outcome.message));
        QCOMPARE(ws.method()["isFactorSet"].toBool(), false);
    }
    Workspace ws({"Fe"});
    const QList<double> scrambled = {900, 3000, 200, 2600, 1500};
    for (int i = 0; i < kAlloys.size(); ++i)
        ws.addShot(kAlloys.at(i), {{"Fe", scrambled.at(i)}});
    const RunOutcome outcome = calibrateMethodFolder(ws.folder, kMethod, 1);
    QCOMPARE(outcome.runStatusId, int(ApprovalFailed));
    QVERIFY2(outcome.message.contains("rSquared") && outcome.message.contains("below 0.93"),
             qPrintable(outcome.message));
}

// The technician shot SS304 for 2205 (both pass the wrong-shot criteria: iron, chromium and
// nickel are there), so the 2205 point carries no molybdenum.
void TestFactorSetFit::wrongStandardMakesTheFitPoor()
{
    Workspace ws({"Fe", "Mo"});
    const double b = 2e-4;
    for (const QString &id : kAlloys) {
        const SimReferenceMaterial *placed =
            SimReferenceMaterials::find(id == "2205" ? "SS304" : id);
        ws.addShot(id,
                   {{"Fe", placed->massFraction(26) / b}, {"Mo", placed->massFraction(42) / b}});
    }
    const RunOutcome outcome = calibrateMethodFolder(ws.folder, kMethod, 1);
    QCOMPARE(outcome.runStatusId, int(ApprovalFailed));
    QVERIFY2(outcome.message.startsWith("Method alloy, element Mo"), qPrintable(outcome.message));
}

void TestFactorSetFit::qcSummaryPassesAndFails()
{
    Workspace ws({"Fe", "Ni"});
    ws.addLinearStandards(kAlloys, {"Fe", "Ni"}, 0.001, 3e-4);
    QCOMPARE(qcSummaryOfMethodFolder(ws.folder, kMethod).runStatusId, int(WorkspaceError));
    QCOMPARE(calibrateMethodFolder(ws.folder, kMethod, 5).runStatusId, int(OutputReady));
    QCOMPARE(qcSummaryOfMethodFolder(ws.folder, kMethod).runStatusId, int(OutputReady));
    const QString summaryFile =
        ws.folder + "/calibrationworkspace/calibrationsummary/qcSummary.json";
    QJsonValue summary;
    QVERIFY(XrfUtils::readJsonFile(summaryFile, &summary));
    QCOMPARE(summary["passed"].toBool(), true);
    QCOMPARE(summary["tolerance"].toDouble(), kQcTolerance);
    QVERIFY(summary["maxAbsError"].toDouble() < kQcTolerance);
    QCOMPARE(summary["elements"].toArray().size(), 2);
    const QJsonObject first = summary["elements"][0]["standards"][0].toObject();
    QCOMPARE(first.keys(), QStringList({"absError", "certified", "computed", "standard"}));

    // Factors shifted past the tolerance: every standard is off.
    QJsonObject method = ws.method();
    QJsonObject calibration = method["calibration"].toObject();
    QJsonArray elements = calibration["elements"].toArray();
    QJsonObject fe = elements.at(0).toObject();
    fe["intercept"] = fe["intercept"].toDouble() + 2 * kQcTolerance;
    elements.replace(0, fe);
    calibration["elements"] = elements;
    method["calibration"] = calibration;
    QVERIFY(XrfUtils::writeJsonFile(ws.methodFile(), QJsonDocument(method)));
    const RunOutcome outcome = qcSummaryOfMethodFolder(ws.folder, kMethod);
    QCOMPARE(outcome.runStatusId, int(ApprovalFailed));
    QVERIFY2(outcome.message.contains("QC error") && outcome.message.contains("Fe at"),
             qPrintable(outcome.message));
    QVERIFY(XrfUtils::readJsonFile(summaryFile, &summary));
    QCOMPARE(summary["passed"].toBool(), false);
}

void TestFactorSetFit::archiveRoundTripThroughTheCloud()
{
    Workspace ws({"Fe"});
    ws.addLinearStandards(kAlloys, {"Fe"}, 0, 2e-4);
    const QString zip = SERIAL + kMethod + ".zip";
    QVERIFY(XrfUtils::zip(ws.folder, zip, bench.dir.path(), true, true, false, QString()));
    QSignalSpy uploaded(bench.network.get(), &XrfNetworkManager::fileUploadCompleteResponse);
    bench.network->uploadBinaryFileToCloud(
        XrfNetworkManager::UploadFactorSetMethod,
        {{"filePath", bench.dir.filePath(zip)}, {"zipFileName", zip}});
    QTRY_COMPARE_WITH_TIMEOUT(uploaded.count(), 1, 20000);
    const int runId = uploaded.first().at(0).value<XrfCloudResponse>().responseData()["id"].toInt();
    QVERIFY(runId > 0);
    QSignalSpy statuses(bench.network.get(), &XrfNetworkManager::methodFactorSetStatusChange);
    for (int poll = 1; poll <= 3; ++poll) {
        bench.network->fetchFromCloud(XrfNetworkManager::GetFactorSetStatus,
                                      {{"statusRequestId", runId}});
        QTRY_COMPARE_WITH_TIMEOUT(statuses.count(), poll, 20000);
    }
    const QJsonObject done = statuses.last().at(0).toJsonObject();
    QCOMPARE(done["runStatusId"].toInt(), 4);
    QSignalSpy downloaded(bench.network.get(), &XrfNetworkManager::fileDownloadCompleted);
    bench.network->downloadBinaryFile(XrfNetworkManager::DownloadFactorSetResult,
                                      {{"zipOutputUrl", done["zipOutputUrl"]},
                                       {"zipOutputFileName", "calibrated.zip"},
                                       {"zipOutputFileDir", bench.dir.path()}});
    QTRY_COMPARE_WITH_TIMEOUT(downloaded.count(), 1, 20000);
    const QString installed = bench.dir.filePath("installed");
    QVERIFY(XrfUtils::unzip(bench.dir.filePath("calibrated.zip"), installed));
    QJsonValue method;
    QVERIFY(XrfUtils::readJsonFile(installed + "/CalcMethod_alloy.json", &method));
    QCOMPARE(method["isFactorSet"].toBool(), true);
    QCOMPARE(method["calibration"]["runId"].toInt(), runId);
    const auto files = bench.cloud->uploadedFiles(SERIAL);
    QVERIFY(!files.isEmpty());
}

// The fits of a factory line's root (XRF_FIT_ROOT, after `xrf-factory run --root DIR` through
// calibrationShot), printed per method and element; skipped without it.
void TestFactorSetFit::fitOfLineRoot()
{
    const QString root = qEnvironmentVariable("XRF_FIT_ROOT");
    if (root.isEmpty())
        QSKIP("XRF_FIT_ROOT names no line root");
    QDirIterator methods(root + "/home/profile/instrumentsettings/methods",
                         QDir::Dirs | QDir::NoDotAndDotDot);
    while (methods.hasNext()) {
        const QString folder = methods.next();
        if (!QFileInfo::exists(folder + "/calibrationworkspace"))
            continue;
        QTemporaryDir copy;
        XrfUtils::copyDirectory(folder, copy.path());
        const QString id = methods.fileName();
        MethodFit fit;
        RunOutcome failure;
        QVERIFY2(fitMethodFolder(copy.path(), id, &fit, &failure), qPrintable(failure.message));
        for (const ElementFit &e : qAsConst(fit.fits))
            qInfo().noquote() << QString("FIT %1 %2 %3 beam %4 r2 %5 worst %6 %7 slope %8 n %9")
                                     .arg(id, e.element, e.line)
                                     .arg(e.beam)
                                     .arg(e.rSquared, 0, 'f', 4)
                                     .arg(e.worstStandard)
                                     .arg(e.worstAbsError, 0, 'g', 3)
                                     .arg(e.slope, 0, 'g', 3)
                                     .arg(e.points.size());
        for (const ElementFit &e : qAsConst(fit.fits)) {
            for (const FitPoint &p : e.points)
                qDebug().noquote()
                    << "POINT" << e.element << p.standard << p.intensity << p.certified;
            for (const OverlapCorrection &o : e.overlaps)
                qDebug().noquote() << "OVERLAP" << e.element << o.element << o.factor;
        }
        qInfo().noquote() << "FIT" << id << "uncalibrated" << fit.uncalibrated;
        const RunOutcome outcome = calibrateMethodFolder(copy.path(), id, 1);
        qInfo().noquote() << "FIT" << id << outcome.runStatusId << outcome.message;
        if (outcome.runStatusId == OutputReady)
            qInfo().noquote() << "FIT QC" << qcSummaryOfMethodFolder(copy.path(), id).message;
    }
}

QTEST_GUILESS_MAIN(TestFactorSetFit)
#include "tst_factorsetfit.moc"
