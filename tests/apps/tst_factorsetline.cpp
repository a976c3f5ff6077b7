// The factory line through the factor set: the calibrated methods are installed, and a tampered
// calibrated archive is refused with its text while the installed methods stay as they were.

#include "xrfutils.h"

#include "linerun.h"

#include <QtTest>

namespace {

LineRun xrfFactory(const QStringList &arguments)
{
    return LineRun::run(QStringLiteral(XRF_FACTORY_BIN), arguments, 240000);
}

QStringList lineArguments(const QString &root, const QString &steps)
{
    return {"run", "--root", root, "--steps", steps, "--time-scale", "0.001", "--model", "LT"};
}

// Whether every installed method of a root says it is factor-set.
QList<bool> factorSetFlags(const QString &root)
{
    QList<bool> flags;
    QDir methods(root + "/home/profile/instrumentsettings/methods");
    for (const QString &method : methods.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QJsonValue value;
        XrfUtils::readJsonFile(methods.filePath(method) + "/CalcMethod_" + method + ".json",
                               &value);
        flags << value.toObject().value("isFactorSet").toBool();
    }
    return flags;
}

} // namespace

class TstFactorSetLine : public QObject
{
    Q_OBJECT

private slots:
    void factorSetInstallsCalibratedMethodsAndRefusesATamperedArchive();

private:
    QTemporaryDir m_dir;
};

void TstFactorSetLine::factorSetInstallsCalibratedMethodsAndRefusesATamperedArchive()
{
    const QString root = m_dir.path() + "/LT";
    LineRun run = xrfFactory(lineArguments(
        root, "provisioning,hardwareSetup,cameraSetup,beamsSetup,airShot,calibrationShot"));
    QVERIFY2(run.exitCode == 0, qPrintable(run.out));

    const QString tampered = m_dir.path() + "/tampered";
    QString error;
    QVERIFY(XrfUtils::copyDirectory(root, tampered, &error));
    run = xrfFactory(lineArguments(tampered, "factorSet") << "--scenario"
                                                          << "factorset-escaping-archive");
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.out.contains("validation failed, failed to unzip downloaded method."),
             qPrintable(run.out));
    QVERIFY(!factorSetFlags(tampered).contains(true));

    run = xrfFactory(lineArguments(root, "factorSet"));
    QVERIFY2(run.exitCode == 0, qPrintable(run.out));
    QVERIFY2(run.out.contains("calibrated method installed"), qPrintable(run.out));
    const QList<bool> flags = factorSetFlags(root);
    QVERIFY(!flags.isEmpty());
    QVERIFY(!flags.contains(false));
}

QTEST_GUILESS_MAIN(TstFactorSetLine)
#include "tst_factorsetline.moc"
