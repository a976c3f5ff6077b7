// The calibration records and workspaces without an instrument: the remaining-time arithmetic
// and the 50 kV rule of a standard, workspaces from the templates, the merged step list, the
// shots copied into the workspaces, and the templates against the certified reference materials.

#include "simreferencematerials.h"
#include "xrfcalibrationshot.h"
#include "xrfcalibrationstandard.h"
#include "xrfcalibrationutils.h"
#include "xrfhardwareconfig.h"
#include "xrfmethod.h"
#include "xrfutils.h"

#include <QtTest>

namespace {

XrfExposureSettings exposure(float kv, int seconds, int diameter = 2718)
{
    XrfExposureSettings e;
    e.setTubeVoltageKv(kv);
    e.setTubeCurrentUa(50);
    e.setMaxTime(seconds);
    XrfFilterProperties filter;
    filter.setMaterialAtomicNumber(13);
    filter.setThicknessInMicrons(100);
    filter.setDiameterInMicrons(diameter);
    e.setFilter(filter);
    return e;
}

XrfCalibrationStep step(const QString &sample, int order, float kv, int seconds)
{
    XrfCalibrationStep s;
    s.setSampleID(sample);
    s.setShootOrder(order);
    s.setBeamNumber(order);
    s.setExposure(exposure(kv, seconds));
    return s;
}

void writeJson(const QString &path, const QJsonObject &object)
{
    QVERIFY(XrfUtils::writeJsonFile(path, QJsonDocument(object)));
}

QJsonObject readJson(const QString &path)
{
    QJsonValue value;
    XrfUtils::readJsonFile(path, &value);
    return value.toObject();
}

QJsonObject alloyTemplate(const QJsonArray &beamNumbers = {1, 2})
{
    return QJsonObject{{"templateName", "alloy"},
                       {"displayName", "Alloy"},
                       {"beams",
                        QJsonArray{QJsonObject{{"beamNumber", 1}, {"shotTimeSeconds", 10}},
                                   QJsonObject{{"beamNumber", 2}, {"shotTimeSeconds", 20}}}},
                       {"standards",
                        QJsonArray{QJsonObject{{"sampleID", "SS304"}, {"beams", beamNumbers}},
                                   QJsonObject{{"sampleID", "2205"}, {"beams", beamNumbers}}}}};
}

} // namespace

class TstCalibrationRecords : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void remainingTimeLeavesOutPassedSteps();
    void onlyFiftyKvPendingSetsAStandardAside();
    void stepRoundTripsThroughJsonWithItsStatus();
    void tubeAnodeComesFromTheTubeModel();
    void workspaceFromTemplateHasAStepPerStandardAndBeam();
    void templateBeamBelowOneIsRefusedAndMissingBeamsLeftOut();
    void methodsSharingAStandardAndExposureShootItOnce();
    void passedShotsAreCopiedIntoTheirWorkspaces();
    void unreadableShotIsNotJudged();
    void everyTemplateStandardIsACertifiedReferenceMaterial();

private:
    QTemporaryDir m_dir;
    QString m_profile;
};

void TstCalibrationRecords::init()
{
    m_profile = m_dir.path() + "/home/profile";
    QDir(m_dir.path() + "/home").removeRecursively();
    QDir().mkpath(m_profile);
    QDir().mkpath(m_dir.path() + "/home/calibrationdefault/methodTemplates");
}

void TstCalibrationRecords::remainingTimeLeavesOutPassedSteps()
{
    XrfCalibrationStepList steps;
    steps.append(step("SS304", 1, 40, 10));
    steps.append(step("SS304", 2, 50, 20));
    steps.append(step("SS304", 3, 15, 30));
    steps[0].setIsDone(true);
    steps[2].setIsDone(true);
    steps[2].setHasFailed(true);
    const XrfCalibrationStandard standard(steps, 0, 3);
    QCOMPARE(standard.name(), QString("SS304"));
    QVERIFY(standard.has50KvShots());
    // The failed step is shot again; the passed one is not.
    QCOMPARE(standard.timeRemainingInSeconds(), 50);
    QCOMPARE(standard.timeRemainingFor50KvShots(), 20);
    QVERIFY(!standard.isAllStepsDone());
    QCOMPARE(standard.stepsStatusString(), QString("SS304: 1 of 3 steps passed, 1 failed"));
}

void TstCalibrationRecords::onlyFiftyKvPendingSetsAStandardAside()
{
    XrfCalibrationStepList steps;
    steps.append(step("2205", 1, 40, 10));
    steps.append(step("2205", 2, 50, 10));
    QVERIFY(!XrfCalibrationStandard(steps, 0, 2).isOnly50kvStepsPending());
    steps[0].setIsDone(true);
    QVERIFY(XrfCalibrationStandard(steps, 0, 2).isOnly50kvStepsPending());
    steps[1].setIsDone(true);
    const XrfCalibrationStandard done(steps, 0, 2);
    QVERIFY(!done.isOnly50kvStepsPending());
    QVERIFY(done.isAllStepsDone());
    QCOMPARE(done.timeRemainingInSeconds(), 0);
}

void TstCalibrationRecords::stepRoundTripsThroughJsonWithItsStatus()
{
    XrfCalibrationStep original = step("OR-CU", 2, 50, 20);
    original.addMethodUse(XrfCalibrationMethodUse("mining", 2));
    original.addMethodUse(XrfCalibrationMethodUse("soil", 2));
    original.setIsDone(true);
    original.setHasFailed(true);
    original.setErrorMsg("No counts in the spectrum. ");
    const QJsonObject json = original.toJsonObject();
    QCOMPARE(json.value("status").toString(), QString("failed"));
    XrfCalibrationStep copy;
    QVERIFY(copy.fromJsonObject(json));
    QVERIFY(copy.isSameStepAs(original));
    QCOMPARE(copy.methodUses().size(), 2);
    QCOMPARE(copy.errorMsg(), original.errorMsg());
    QVERIFY(copy.is50kvStep());
    copy.resetStatus();
    QCOMPARE(copy.statusText(), QString("notStarted"));
    QString error;
    QVERIFY(!copy.fromJsonObject(QJsonObject{{"methodUses", "alloy"}}, &error));
    QVERIFY2(error.contains("methodUses"), qPrintable(error));
}

void TstCalibrationRecords::tubeAnodeComesFromTheTubeModel()
{
    XrfHardwareConfig config;
    config.setTubeModel("XT-50RH");
    QCOMPARE(config.tubeAnode(), QString("Rh"));
    config.setTubeModel("XT-40AG");
    QCOMPARE(config.tubeAnode(), QString("Ag"));
    config.setTubeModel("XT-40QQ");
    QCOMPARE(config.tubeAnode(), QString());
}

void TstCalibrationRecords::workspaceFromTemplateHasAStepPerStandardAndBeam()
{
    const QString tmpl = XrfCalibrationUtils::methodTemplateFile(m_profile, "alloy");
    writeJson(tmpl, alloyTemplate());
    QString error;
    QVERIFY2(XrfCalibrationUtils::createCalibrationWorkspaceFactory(
                 m_profile, "alloy-ISC", tmpl, {exposure(40, 60), exposure(50, 60)}, {"Cu"},
                 QString(), QString(), &error),
             qPrintable(error));
    const QString stepsFile = XrfCalibrationUtils::calibrationStepsFile(m_profile, "alloy-ISC");
    QVERIFY2(XrfCalibrationUtils::validateCalibrationWorkspaceFactory("alloy-ISC", stepsFile,
                                                                      &error, true, true),
             qPrintable(error));
    const QJsonArray steps = readJson(stepsFile).value("steps").toArray();
    // Two air steps for the custom region, then two standards with two beams each.
    QCOMPARE(steps.size(), 6);
    QCOMPARE(steps.at(0).toObject().value("sampleID").toString(), QString("air"));
    QCOMPARE(steps.at(0).toObject().value("customWindow").toString(), QString("Cu~1"));
    const QJsonObject beam2 = steps.at(3).toObject();
    QCOMPARE(beam2.value("exposure").toObject().value("maxTime").toInt(), 20);
    XrfMethod method;
    QVERIFY(method.setMethodFile(XrfMethod::methodFilePath(m_profile, "alloy-ISC")));
    QCOMPARE(method.exposureSettings(false).size(), 2);
    // A workspace of another method is not this one's.
    QVERIFY(!XrfCalibrationUtils::validateCalibrationWorkspaceFactory("soil", stepsFile, &error,
                                                                      true, false));
    QVERIFY(error.contains("methodId"));
}

void TstCalibrationRecords::templateBeamBelowOneIsRefusedAndMissingBeamsLeftOut()
{
    const QString tmpl = XrfCalibrationUtils::methodTemplateFile(m_profile, "alloy");
    QJsonObject bad = alloyTemplate();
    bad.insert("beams", QJsonArray{QJsonObject{{"beamNumber", 0}}});
    writeJson(tmpl, bad);
    QString error;
    QVERIFY(!XrfCalibrationUtils::createCalibrationWorkspaceFactory(
        m_profile, "alloy", tmpl, {exposure(40, 60)}, {}, QString(), QString(), &error));
    QVERIFY2(error.contains("beams") && error.contains(tmpl), qPrintable(error));
    QVERIFY(!QFileInfo::exists(XrfCalibrationUtils::calibrationStepsFile(m_profile, "alloy")));
    // A beam the air shots give no exposure for is left out; the other beams are shot.
    writeJson(tmpl, alloyTemplate());
    QVERIFY2(XrfCalibrationUtils::createCalibrationWorkspaceFactory(
                 m_profile, "alloy", tmpl, {exposure(40, 60)}, {}, QString(), QString(), &error),
             qPrintable(error));
    const QJsonArray steps = readJson(XrfCalibrationUtils::calibrationStepsFile(m_profile, "alloy"))
                                 .value("steps")
                                 .toArray();
    QCOMPARE(steps.size(), 2);
    QCOMPARE(steps.at(1).toObject().value("beamNumber").toInt(), 1);
}

void TstCalibrationRecords::methodsSharingAStandardAndExposureShootItOnce()
{
    const QString tmpl = XrfCalibrationUtils::methodTemplateFile(m_profile, "alloy");
    writeJson(tmpl, alloyTemplate());
    QString error;
    QVERIFY(XrfCalibrationUtils::createCalibrationWorkspaceFactory(
        m_profile, "alloy", tmpl, {exposure(40, 60), exposure(50, 60)}, {}, QString(), QString(),
        &error));
    QVERIFY(XrfCalibrationUtils::createCalibrationWorkspaceFactory(
        m_profile, "alloy-Coll", tmpl, {exposure(40, 60, 482), exposure(50, 60, 482)}, {},
        QString(), QString(), &error));
    QJsonObject other = alloyTemplate({1});
    other.insert("standards",
                 QJsonArray{QJsonObject{{"sampleID", "2205"}, {"beams", QJsonArray{1}}},
                            QJsonObject{{"sampleID", "Ti64"}, {"beams", QJsonArray{1}}}});
    const QString otherTmpl = XrfCalibrationUtils::methodTemplateFile(m_profile, "other");
    writeJson(otherTmpl, other);
    QVERIFY(XrfCalibrationUtils::createCalibrationWorkspaceFactory(
        m_profile, "other", otherTmpl, {exposure(40, 60), exposure(50, 60)}, {}, QString(),
        QString(), &error));
    XrfCalibrationStepList list;
    QVERIFY2(XrfCalibrationUtils::getCalibrationStepList(
                 m_profile, {"alloy", "alloy-Coll", "other"}, &list, {}, &error),
             qPrintable(error));
    QStringList order;
    for (const XrfCalibrationStep &s : list.list())
        order << s.standardDisplayId();
    // Standards stay together, in the order the methods first name them.
    QCOMPARE(
        order,
        QStringList({"SS304", "SS304", "SS304", "SS304", "2205", "2205", "2205", "2205", "Ti64"}));
    // 2205 beam 1 open serves both methods.
    QCOMPARE(list.at(4).methodUses().size(), 2);
}

void TstCalibrationRecords::passedShotsAreCopiedIntoTheirWorkspaces()
{
    const QString tmpl = XrfCalibrationUtils::methodTemplateFile(m_profile, "alloy");
    writeJson(tmpl, alloyTemplate({1}));
    QString error;
    QVERIFY(XrfCalibrationUtils::createCalibrationWorkspaceFactory(
        m_profile, "alloy", tmpl, {exposure(40, 60), exposure(50, 60)}, {}, QString(), QString(),
        &error));
    XrfCalibrationStepList list;
    QVERIFY(XrfCalibrationUtils::getCalibrationStepList(m_profile, {"alloy"}, &list, {}, &error));
    XrfCalibrationStep &shot = list[0];
    shot.setIsDone(true);
    QVERIFY(XrfCalibrationUtils::updateCalibrationStepStatus(m_profile, shot, &error));
    const QString library = m_profile + "/instrumentsettings/calibrationshotlib";
    // The library lacks the shot: the copy names it.
    QVERIFY(!XrfCalibrationUtils::populateWorkSpaceWithCaliShot(m_profile, library, {"alloy"}, {},
                                                                &error));
    QVERIFY2(error.contains(shot.calibrationShotFileName()), qPrintable(error));
    QVERIFY(XrfCalibrationShot::fromStep(shot).saveCalibrationShot(library));
    QVERIFY2(XrfCalibrationUtils::populateWorkSpaceWithCaliShot(m_profile, library, {"alloy"}, {},
                                                                &error),
             qPrintable(error));
    QVERIFY(QFileInfo::exists(XrfMethod::methodFolder(m_profile, "alloy")
                              + "/calibrationworkspace/shots/" + shot.calibrationShotFileName()));
}

void TstCalibrationRecords::unreadableShotIsNotJudged()
{
    const QString file = m_dir.path() + "/shot.json";
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("{ not json");
    f.close();
    bool good = false;
    QString error;
    QVERIFY(!XrfCalibrationUtils::checkCalibrationShot(file, &good, &error));
    QVERIFY2(error.contains(file), qPrintable(error));
    QVERIFY(!good);
}

void TstCalibrationRecords::everyTemplateStandardIsACertifiedReferenceMaterial()
{
    const QString data = QStringLiteral(XRF_DATA_DIR);
    int templates = 0;
    for (const char *model : {"default", "LT", "MP", "HD", "Harrier"}) {
        QDir dir(data + "/" + QLatin1String(model) + "/calibrationdefault/methodTemplates");
        for (const QFileInfo &file : dir.entryInfoList({"CalcMethodTemplate_*.json"})) {
            ++templates;
            for (const QJsonValue &value : readJson(file.filePath()).value("standards").toArray()) {
                const QJsonObject standard = value.toObject();
                const SimReferenceMaterial *material =
                    SimReferenceMaterials::find(standard.value("sampleID").toString());
                QVERIFY2(
                    material,
                    qPrintable(file.filePath() + ": " + standard.value("sampleID").toString()));
                QCOMPARE(standard.value("sampleLot").toString(), material->lot);
            }
        }
    }
    QVERIFY(templates >= 9);
}

QTEST_GUILESS_MAIN(TstCalibrationRecords)
#include "tst_calibrationrecords.moc"
