// The factory line through the prerequisite shots: an instrument with a synthetic package and one
// without pass, the status lists the methods with their variants and twins, and every scenario of
// the step fails with its own text without writing outside the instrument root.

#include "linerun.h"
#include "xrfutils.h"

#include <QtTest>

namespace {

using Run = LineRun;

Run xrfFactory(const QStringList &arguments)
{
    return LineRun::run(QStringLiteral(XRF_FACTORY_BIN), arguments, 240000);
}

QStringList lineArguments(const QString &root, const QString &steps)
{
    return LineRun::lineArguments(root, steps);
}

// Every path below `folder` whose name contains `part`.
QStringList namesContaining(const QString &folder, const QString &part)
{
    QStringList found;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileName().contains(part))
            found << path;
    }
    return found;
}

const QString kThroughAirShots =
    QStringLiteral("provisioning,hardwareSetup,cameraSetup,beamsSetup,airShot");

} // namespace

class TstMethodsLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void syntheticMethodsAreSelectedAndStatusListsTheMethods();
    void instrumentWithoutPackagePasses();
    void scenariosFailWithTheirText_data();
    void scenariosFailWithTheirText();

private:
    QTemporaryDir m_dir;
    QString m_airShotRoot;
};

void TstMethodsLine::initTestCase()
{
    m_airShotRoot = m_dir.path() + "/airShot";
    const Run run = xrfFactory(lineArguments(m_airShotRoot, kThroughAirShots));
    QVERIFY2(run.exitCode == 0, qPrintable(run.out));
}

void TstMethodsLine::syntheticMethodsAreSelectedAndStatusListsTheMethods()
{
    const QString root = m_dir.path() + "/default";
    QVERIFY(XrfUtils::copyDirectory(m_airShotRoot, root));
    const Run run = xrfFactory(lineArguments(root, "prerequisiteShots"));
    QVERIFY2(run.exitCode == 0, qPrintable(run.out));
    QVERIFY2(run.out.contains(QRegularExpression("alloy-ISC-Coll +resolutionColl = [\\d.]+ eV: "
                                                 "set fwhm\\d+")),
             qPrintable(run.out));
    QVERIFY(run.out.contains("2 prerequisite shots, 2 synthetic methods selected"));
    QVERIFY(QFileInfo::exists(root + "/home/calibrationdefault/syntheticShots/alloy-ISC"));
    const Run status = xrfFactory({"status", "--root", root});
    QVERIFY2(status.out.contains("Methods to calibrate:"), qPrintable(status.out));
    QVERIFY(status.out.contains(QRegularExpression("alloy-ISC-Coll +MTH-10010__COLL +ISC, "
                                                   "collimated twin, synthetic")));
    QVERIFY(status.out.contains(QRegularExpression("alloy-ISC +MTH-10010 +ISC, twin "
                                                   "alloy-ISC-Coll, synthetic")));
    QVERIFY(status.out.contains(QRegularExpression("soil +MTH-10020")));
}

void TstMethodsLine::instrumentWithoutPackagePasses()
{
    const QString root = m_dir.path() + "/LT";
    const Run run =
        xrfFactory(lineArguments(root, kThroughAirShots + ",prerequisiteShots") << "--model"
                                                                                << "LT");
    QVERIFY2(run.exitCode == 0, qPrintable(run.out));
    QVERIFY(run.out.contains("the work order's methods need no prerequisite shot"));
}

void TstMethodsLine::scenariosFailWithTheirText_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("text");
    QTest::newRow("lid lifted") << "prerequisite-lid-lifted"
                                << "Prerequisiteshot failed,, ";
    QTest::newRow("no package")
        << "no-synthetic-package"
        << "Request to get synthetic shots meta info failed OR returned expected response";
    QTest::newRow("download refused") << "synthetic-download-refused"
                                      << "Failed to download synthetic shots, error:";
    QTest::newRow("full demo") << "full-demo-with-other-method"
                               << "FULLDEMO Unit can't have any other method";
    QTest::newRow("hostile archive") << "hostile-synthetic-archive"
                                     << "is a link";
    QTest::newRow("hostile method id") << "hostile-method-id"
                                       << "method id '../../../escape' is not a valid method id";
}

void TstMethodsLine::scenariosFailWithTheirText()
{
    QFETCH(QString, scenario);
    QFETCH(QString, text);
    const QString root = m_dir.path() + "/" + scenario;
    QVERIFY(XrfUtils::copyDirectory(m_airShotRoot, root));
    const Run run =
        xrfFactory(lineArguments(root, "prerequisiteShots") << "--scenario" << scenario);
    QVERIFY2(run.out.contains(text), qPrintable(run.out));
    QCOMPARE(run.exitCode, 1);
    // Nothing escaped: no trace of the hostile names anywhere, inside or beside the roots.
    QCOMPARE(namesContaining(m_dir.path(), "escape"), QStringList());
    QVERIFY(!QFileInfo::exists(root + "/home/calibrationdefault/syntheticShots/alloy-ISC/etc"));
}

QTEST_GUILESS_MAIN(TstMethodsLine)
#include "tst_methodsline.moc"
