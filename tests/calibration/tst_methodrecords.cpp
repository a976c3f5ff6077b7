// The common library's method pieces: the method-id rule, method files, element names, the safe
// unpacking of archives and the synthetic shot selection.

#include "modelmethod.h"
#include "simsyntheticpackage.h"
#include "xrfairshotlist.h"
#include "xrfcalibrationutils.h"
#include "xrfmethod.h"
#include "xrfprerequisiteshot.h"
#include "xrfutils.h"
#include "xrfzipwriter.h"

#include <QtTest>

namespace {

QStringList treeOf(const QString &folder)
{
    QStringList entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        entries << QDir(folder).relativeFilePath(it.next());
    entries.sort();
    return entries;
}

void writeArchive(const QString &path, const QMap<QString, QByteArray> &entries)
{
    XrfZipWriter writer(path);
    QVERIFY(writer.open(nullptr));
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        QVERIFY(writer.beginEntry(it.key(), nullptr));
        QVERIFY(writer.write(it.value()));
    }
    QVERIFY(writer.commit(nullptr));
}

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

// A spectrum at 20 eV per channel with Gaussian Fe Ka and Kb peaks of `fwhmEv`.
XrfSpectrum ironSpectrum(double fwhmEv)
{
    QVector<quint32> counts(1024, 5);
    const double sigma = fwhmEv / 2.3548 / 20.0;
    for (const auto &[energy, height] : {std::pair{6404.0, 20000.0}, std::pair{7058.0, 3000.0}}) {
        const double centre = energy / 20.0;
        for (int ch = 0; ch < counts.size(); ++ch)
            counts[ch] += quint32(height * std::exp(-0.5 * std::pow((ch - centre) / sigma, 2)));
    }
    XrfSpectrum spectrum;
    spectrum.setData(counts);
    spectrum.setEnergySlope(20.0);
    spectrum.setRealTime(10);
    spectrum.setLiveTime(10);
    return spectrum;
}

} // namespace

class TstMethodRecords : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void methodIdRuleRefusesEveryPathEscape_data();
    void methodIdRuleRefusesEveryPathEscape();
    void methodFileKeepsTheKeysItDoesNotKnow();
    void methodFileOfTheWrongTypeIsRefusedWithTheKey();
    void elementNamesGiveAtomicNumbers();
    void unzipReplacesTheFolderWithTheArchive();
    void hostileArchivesChangeNothing_data();
    void hostileArchivesChangeNothing();
    void brassSuffixIsCaseSensitive();
    void selectionPicksTheSetOfTheMeasuredResolution();
    void selectionFailsWithoutAPassedShot();
    void processingWritesTheSyntheticMethodWithTheAirShots();
    void shotListKeepsOnlyShotsOfSyntheticMethods();

private:
    QTemporaryDir m_dir;
};

void TstMethodRecords::initTestCase()
{
    QVERIFY(m_dir.isValid());
    XrfUtils::setInstrumentRoot(m_dir.path() + "/root");
}

void TstMethodRecords::methodIdRuleRefusesEveryPathEscape_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<bool>("valid");
    QTest::newRow("plain") << "alloy-BigSet-ISC-Coll" << true;
    QTest::newRow("dots") << "alloy.v2_x" << true;
    QTest::newRow("parent") << "../x" << false;
    QTest::newRow("embedded parent") << "a..b" << false;
    QTest::newRow("slash") << "a/b" << false;
    QTest::newRow("absolute") << "/etc" << false;
    QTest::newRow("backslash") << "a\\b" << false;
    QTest::newRow("dot") << "." << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("space") << "a b" << false;
    QTest::newRow("non-ascii") << QString::fromUtf8("m\u00e9thode") << false;
}

void TstMethodRecords::methodIdRuleRefusesEveryPathEscape()
{
    QFETCH(QString, id);
    QFETCH(bool, valid);
    QCOMPARE(XrfMethod::isValidMethodId(id), valid);
    QCOMPARE(XrfMethod::methodFilePath("/p", id).isEmpty(), !valid);
    if (valid)
        QCOMPARE(XrfMethod::methodFilePath("/p", id),
                 QString("/p/instrumentsettings/methods/%1/CalcMethod_%1.json").arg(id));
}

void TstMethodRecords::methodFileKeepsTheKeysItDoesNotKnow()
{
    const QString path = m_dir.filePath("m/CalcMethod_alloy-ISC.json");
    QDir().mkpath(m_dir.filePath("m"));
    QVERIFY(XrfUtils::writeJsonFile(
        path,
        QJsonDocument(QJsonObject{{"id", "alloy-ISC"},
                                  {"calibration", QJsonObject{{"factors", QJsonArray{1, 2}}}},
                                  {"isFactorSet", true}})));
    XrfMethod method;
    QVERIFY(method.setMethodFile(path));
    QVERIFY(method.isFactorSetted());
    QVERIFY(method.isValidMethodFile(false));
    QVERIFY(!method.isValidMethodFile(true));
    XrfExposureSettings exposure;
    exposure.setTubeVoltageKv(40);
    method.setExposureSettings(false, {exposure});
    QVERIFY(method.setBeamBackgroundRate(false, 0, 12.5));
    QVERIFY(!method.setBeamBackgroundRate(true, 0, 1));
    method.setDisplayName("Alloy ISC");
    QVERIFY(method.saveMethodFile());
    XrfMethod reread;
    QVERIFY(reread.setMethodFile(path));
    QCOMPARE(reread.displayName(), QString("Alloy ISC"));
    QCOMPARE(reread.exposureSettings(false).value(0).backgroundRate(), 12.5);
    QCOMPARE(
        reread.toJsonObject().value("calibration").toObject().value("factors").toArray().size(), 2);
}

void TstMethodRecords::methodFileOfTheWrongTypeIsRefusedWithTheKey()
{
    const QString path = m_dir.filePath("bad/CalcMethod_x.json");
    QDir().mkpath(m_dir.filePath("bad"));
    QVERIFY(XrfUtils::writeJsonFile(path, QJsonDocument(QJsonObject{{"isFactorSet", "yes"}})));
    XrfMethod method;
    method.setId("kept");
    QString error;
    QVERIFY(!method.setMethodFile(path, &error));
    QVERIFY2(error.contains(path) && error.contains("isFactorSet"), qPrintable(error));
    QCOMPARE(method.id(), QString("kept"));
    QVERIFY(!method.setMethodFile(m_dir.filePath("missing.json"), &error));
    QVERIFY(error.contains("missing.json"));
}

void TstMethodRecords::elementNamesGiveAtomicNumbers()
{
    QCOMPARE(XrfUtils::atomicNumberFromFullName(" Copper "), 29);
    QCOMPARE(XrfUtils::atomicNumberFromFullName("gold"), 79);
    QCOMPARE(XrfUtils::atomicNumberFromFullName("Aluminum"), 13);
    QCOMPARE(XrfUtils::atomicNumberFromFullName("Unobtainium"), -1);
    QCOMPARE(XrfUtils::elementSymbol(XrfUtils::atomicNumberFromFullName("Silver")), QString("Ag"));
}

void TstMethodRecords::unzipReplacesTheFolderWithTheArchive()
{
    const QString archive = m_dir.filePath("good.zip");
    writeArchive(archive, {{"a/b.json", "{}"}, {"c.txt", "c"}});
    const QString target = m_dir.filePath("unpacked");
    writeFile(target + "/old.txt", "old");
    QString error;
    QVERIFY2(XrfUtils::unzip(archive, target, &error), qPrintable(error));
    QCOMPARE(treeOf(target), QStringList({"a", "a/b.json", "c.txt"}));
    QCOMPARE(treeOf(m_dir.path()).filter("unpack").filter(".unpack-"), QStringList());
}

void TstMethodRecords::hostileArchivesChangeNothing_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<QString>("refused");
    QTest::newRow("parent entry") << QByteArray("parent") << "../../etc/x";
    QTest::newRow("absolute entry") << QByteArray("absolute") << "/tmp/x";
    QTest::newRow("link entry") << QByteArray("link") << "is a link";
}

void TstMethodRecords::hostileArchivesChangeNothing()
{
    QFETCH(QByteArray, archive);
    QFETCH(QString, refused);
    const QString sandbox = m_dir.filePath("sandbox-" + QString::fromLatin1(archive));
    const QString target = sandbox + "/a/b/target";
    writeFile(target + "/kept.txt", "kept");
    const QString path = sandbox + "/hostile.zip";
    if (archive == "parent")
        writeArchive(path, {{"ok.txt", "ok"}, {"../../etc/x", "x"}});
    else if (archive == "absolute")
        writeArchive(path, {{"ok.txt", "ok"}, {"/tmp/x", "x"}});
    else
        writeFile(path, SimSyntheticPackage::hostile("escape.txt"));
    const QStringList before = treeOf(sandbox);
    QString error;
    QVERIFY(!XrfUtils::unzip(path, target, &error));
    QVERIFY2(error.contains(path) && error.contains(refused), qPrintable(error));
    QCOMPARE(treeOf(sandbox), before);
}

void TstMethodRecords::brassSuffixIsCaseSensitive()
{
    QCOMPARE(XrfCalibrationUtils::syntheticShotDirSuffix("Brass"), QString("-Brass"));
    QCOMPARE(XrfCalibrationUtils::syntheticShotDirSuffix("brass"), QString());
    QCOMPARE(XrfCalibrationUtils::syntheticShotDirSuffix("SDD"), QString());
}

void TstMethodRecords::selectionPicksTheSetOfTheMeasuredResolution()
{
    const QJsonObject alloy{{"id", "alloy"},
                            {"isNativeCalibration", true},
                            {"hasDualCalibration", true},
                            {"isSyntheticMethod", true},
                            {"syntheticShotSelectionParameter", "resolution"},
                            {"syntheticShotSelectionParameterColl", "resolutionColl"}};
    const QJsonObject map{{"methods", QJsonObject{{"default", QJsonObject{{"MTH-1", alloy}}}}}};
    const QString archive = m_dir.filePath("synthetic.zip");
    writeFile(archive, SimSyntheticPackage::forMethodMap(map));
    QVERIFY(XrfUtils::unzip(archive, XrfCalibrationUtils::syntheticShotsDir()));
    XrfPrerequisiteShot shot;
    QVERIFY(shot.fromJsonObject(QJsonObject{{"id", "res"},
                                            {"selectionParameters", QJsonArray{"resolution"}},
                                            {"peakEnergyEv", 6404},
                                            {"referenceEnergyEv", 7058},
                                            {"isDone", true}}));
    shot.setSpectrum(ironSpectrum(160));
    XrfPrerequisiteShotList shots;
    QVERIFY(shots.fromJsonObject(QJsonObject{{"shots", QJsonArray{shot.toJsonObject()}}}));
    ModelMethod method;
    method.setId("alloy-ISC");
    method.setSyntheticShotSelectionParameter("resolution");
    XrfSyntheticShotSelectionCriteriaPerMethod criteria;
    QVERIFY2(XrfCalibrationUtils::calculateSyntheticShotSelectionCriteria(method, QString(), shots,
                                                                          &criteria),
             qPrintable(criteria.statusMsg()));
    QVERIFY(criteria.value() > 140 && criteria.value() < 170);
    QVERIFY(criteria.filesPath().endsWith("/alloy-ISC/fwhm170"));
    // Another probe head looks for its own folders, which this package does not have.
    QVERIFY(!XrfCalibrationUtils::calculateSyntheticShotSelectionCriteria(method, "-Brass", shots,
                                                                          &criteria));
    QVERIFY(criteria.statusMsg().contains("alloy-ISC-Brass"));
}

void TstMethodRecords::selectionFailsWithoutAPassedShot()
{
    XrfPrerequisiteShotList shots;
    QVERIFY(shots.fromJsonObject(
        QJsonObject{{"shots",
                     QJsonArray{QJsonObject{{"id", "res"},
                                            {"selectionParameters", QJsonArray{"resolution"}},
                                            {"isDone", true},
                                            {"hasFailed", true}}}}}));
    ModelMethod method;
    method.setId("alloy-ISC");
    method.setSyntheticShotSelectionParameter("resolution");
    XrfSyntheticShotSelectionCriteriaPerMethod criteria;
    QVERIFY(!XrfCalibrationUtils::calculateSyntheticShotSelectionCriteria(method, QString(), shots,
                                                                          &criteria));
    QVERIFY(criteria.hasFailed());
    QVERIFY2(criteria.statusMsg().contains("'res' has not passed"),
             qPrintable(criteria.statusMsg()));
}

void TstMethodRecords::processingWritesTheSyntheticMethodWithTheAirShots()
{
    const QString set = m_dir.filePath("set");
    QDir().mkpath(set);
    QVERIFY(
        XrfUtils::writeJsonFile(set + "/CalcMethod_alloy-ISC.json",
                                QJsonDocument(QJsonObject{{"id", "alloy-ISC"}, {"prepared", 1}})));
    XrfAirShot shot;
    XrfExposureSettings exposure;
    exposure.setTubeVoltageKv(40);
    shot.setExposure(exposure);
    shot.setUsageGroups({BeamUsageGroup("alloy", 1), BeamUsageGroup("soil", 2)});
    shot.setCalculatedBackgoundRate(33);
    XrfAirShotList open;
    open.add(shot);
    ModelMethod method;
    method.setId("alloy-ISC");
    method.setTemplateName("alloy");
    QString error;
    QVERIFY2(
        XrfCalibrationUtils::processSyntheticShots(method, open, XrfAirShotList(), set, &error),
        qPrintable(error));
    XrfMethod written;
    QVERIFY(written.setMethodFile(XrfCalibrationUtils::syntheticMethodFilePath(set, "alloy-ISC")));
    QVERIFY(written.isSyntheticMethod());
    QCOMPARE(written.exposureSettings(false).value(0).backgroundRate(), 33.0);
    QCOMPARE(written.toJsonObject().value("prepared").toInt(), 1);
    method.setIsCollimatedCalibration(true);
    QVERIFY(
        !XrfCalibrationUtils::processSyntheticShots(method, open, XrfAirShotList(), set, &error));
    QVERIFY(error.contains("collimated"));
}

void TstMethodRecords::shotListKeepsOnlyShotsOfSyntheticMethods()
{
    XrfPrerequisiteShotList shots;
    QVERIFY(shots.fromJsonObject(QJsonObject{
        {"shots",
         QJsonArray{
             QJsonObject{{"id", "a"}, {"selectionParameters", QJsonArray{"resolution"}}},
             QJsonObject{{"id", "b"}, {"selectionParameters", QJsonArray{"resolutionColl"}}}}}}));
    ModelMethod synthetic;
    synthetic.setIsSyntheticMethod(true);
    synthetic.setSyntheticShotSelectionParameter("resolution");
    ModelMethod plain;
    plain.setSyntheticShotSelectionParameter("resolutionColl");
    XrfPrerequisiteShotList kept = shots;
    kept.boilDownToRequiredForMethods({synthetic, plain});
    QCOMPARE(kept.size(), 1);
    QCOMPARE(kept.list().first().id(), QString("a"));
    kept.boilDownToRequiredForMethods({});
    QVERIFY(kept.isEmpty());
    QVERIFY(kept.isAllShotsCompleteAndUpdateStatus());
    QVERIFY(!shots.isAllShotsCompleteAndUpdateStatus());
}

QTEST_GUILESS_MAIN(TstMethodRecords)
#include "tst_methodrecords.moc"
