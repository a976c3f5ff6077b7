// Scenarios of the final QC: the methods it checks, its check samples and its templates.
#include "simscenarios_p.h"

#include "simcloudserver.h"
#include "simtechnician.h"

QVector<SimScenario> finalQcScenarios()
{
    return {
        {QStringLiteral("finalqc-check-sample-calibration"),
         QStringLiteral("This line does not run the factor set: before the final QC each method "
                        "workspace is calibrated from one shot of its template's check sample, "
                        "a stand-in for the cloud's factor set, so that the final QC can run."),
         nullptr, nullptr,
         [](SimTechnician &t) {
             t.calibratesFromCheckSamples = true;
         }},
        {QStringLiteral("finalqc-check-sample-out-of-tolerance"),
         QStringLiteral("The final QC check sample in the drawer is a disk of another grade "
                        "(Inconel 625 for SS304, sterling silver for 18k gold, iron ore for "
                        "copper ore, a Pb-Zn soil for NIST 2711): its concentrations fall outside "
                        "the template's tolerance and the method fails. Calibrates from the "
                        "check samples first, as finalqc-check-sample-calibration does."),
         nullptr, nullptr,
         [](SimTechnician &t) {
             t.calibratesFromCheckSamples = true;
             t.finalQcCheckSampleSwaps = {
                 {QStringLiteral("SS304"), QStringLiteral("Inconel625")},
                 {QStringLiteral("AU750"), QStringLiteral("AG925")},
                 {QStringLiteral("OR-CU"), QStringLiteral("OR-FE")},
                 {QStringLiteral("NIST2711"), QStringLiteral("SL-PBZN")},
             };
         }},
        {QStringLiteral("finalqc-templates-missing"),
         QStringLiteral("The cloud has no final QC templates for this instrument: the request "
                        "for their meta info fails and the final QC cannot run."),
         nullptr,
         [](SimCloudServer &c) {
             c.setPackage(SimCloudPackage::FinalQcTemplates, QString(), QByteArray());
         }},
    };
}
