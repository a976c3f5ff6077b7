// Scenarios of the factor set that the cloud fits from the calibration shots.
#include "simscenarios_p.h"

#include "simtechnician.h"

QVector<SimScenario> factorSetFitScenarios()
{
    return {
        {QStringLiteral("calibration-wrong-standard"),
         QStringLiteral(
             "The technician takes look-alike standards for each other: SS304 for 2205, SL-LOAM "
             "for SL-PBZN, OR-CU for OR-FE, AU750 for AG925. The shots pass the "
             "wrong-shot criteria (the same major elements show), but the cloud fits "
             "the certified values of the one standard against the spectrum of the "
             "other, the fit is poor and the factor set's approval fails."),
         nullptr, nullptr,
         [](SimTechnician &t) {
             t.sampleMixUps.insert(QStringLiteral("2205"), QStringLiteral("SS304"));
             t.sampleMixUps.insert(QStringLiteral("SL-PBZN"), QStringLiteral("SL-LOAM"));
             t.sampleMixUps.insert(QStringLiteral("OR-FE"), QStringLiteral("OR-CU"));
             t.sampleMixUps.insert(QStringLiteral("AG925"), QStringLiteral("AU750"));
         }},
    };
}
