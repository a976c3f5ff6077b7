// The default data of every model carries FPGA gain setup on its simulated instrument to a pass
// with one correction, and through the count-rate ceiling scenario. The model comes from
// XRF_FPGA_MODEL (one instrument per process).

#include "fpgatest.h"
#include "logcapture.h"
#include "simpresets.h"
#include "simscenarios.h"

using namespace fpgatest;

class TstFpgaModels : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void defaultDataPassesWithOneCorrection();
    void countRateCeilingScenarioPasses();

private:
    std::unique_ptr<LogCapture> m_log;
    QString m_model;
};

void TstFpgaModels::initTestCase()
{
    m_log.reset(new LogCapture);
    m_model = qEnvironmentVariable("XRF_FPGA_MODEL", QStringLiteral("default"));
    FactoryTestEnv::Options options;
    options.model = m_model;
    FactoryTestEnv::start(options);
    QVERIFY(seedModelData(m_model));
    reloadSetupData();
    waitForCooledDetector();
}

// The last completed run still uploads its results: let that finish before the log capture goes.
void TstFpgaModels::cleanupTestCase()
{
    FactoryTestEnv::get().settleBeforeExit();
}

void TstFpgaModels::cleanup()
{
    faults().clear();
    m_log->clear();
}

void TstFpgaModels::defaultDataPassesWithOneCorrection()
{
    const QJsonObject params = modelGainParams();
    const GainSetupRun run = runGainSetup(params);
    QVERIFY2(!run.step.hasFailed(), qPrintable(m_model + ": " + run.step.statusMsg()));
    QCOMPARE(run.iterations().size(), 2);
    const bool above40kV = SimModelPreset::byModel(m_model).tube.maxKv > 40;
    const double target =
        params.value(above40kV ? "target50kV_evPerBin" : "target_evPerBin").toDouble();
    const double tolerance = params.value("evPerBin_tolerance").toDouble();
    const double first = run.iterations().at(0).toObject().value("oldBinSize").toDouble();
    const double second = run.iterations().at(1).toObject().value("oldBinSize").toDouble();
    QVERIFY2(qAbs(first - target) > tolerance, qPrintable(QString::number(first)));
    QVERIFY2(qAbs(second - target) <= tolerance, qPrintable(QString::number(second)));
    QVERIFY(!m_log->contains("exceeded desired ceiling"));
}

void TstFpgaModels::countRateCeilingScenarioPasses()
{
    // The FPGA starts from a gain off target, as on a new unit.
    QCOMPARE(engine()->setFpgaGain(1), 0);
    QVERIFY(SimScenarios::apply("count-rate-ceiling", FactoryTestEnv::get().instrument()));
    const GainSetupRun run = runGainSetup(modelGainParams());
    QVERIFY2(!run.step.hasFailed(), qPrintable(m_model + ": " + run.step.statusMsg()));
    const double icr = run.iterations()
                           .at(0)
                           .toObject()
                           .value("spectrum")
                           .toObject()
                           .value("inputCountRate")
                           .toDouble();
    QVERIFY2(m_log->contains("Restarting FPGA Gain setup exposure with new current: "),
             qPrintable(QString::number(icr)));
}

QTEST_GUILESS_MAIN(TstFpgaModels)
#include "tst_fpgamodels.moc"
