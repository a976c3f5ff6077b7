// Scenarios of the radiation survey and the profile backup at the end of the factory run.
#include "simscenarios_p.h"

#include "simcloudserver.h"
#include "simfaults.h"
#include "siminstrument.h"
#include "simtechnician.h"
#include "xrfnetworkmanager.h"

namespace {
constexpr double kShieldGapFraction = 0.001;
constexpr double kArcAfterSeconds = 5;
constexpr int kArcErrorCode = 0x32;
constexpr int kServiceUnavailable = 503;
} // namespace

QVector<SimScenario> surveyScenarios()
{
    return {
        {QStringLiteral("survey-shield-gap"),
         QStringLiteral("The nose cone's shield ring was left out: 0.1 % of the scattered "
                        "radiation passes the lead and the survey meter reads several mR/hr, far "
                        "above the threshold."),
         [](SimInstrument &i) {
             i.faults().setShieldingGap(kShieldGapFraction);
         }},
        {QStringLiteral("survey-hardware-error"),
         QStringLiteral("The high-voltage supply trips on an arc five seconds into every exposure, "
                        "the radiation survey's among them (use with --steps "
                        "provisioning,radiationSurvey)."),
         [](SimInstrument &i) {
             i.faults().raiseHardwareErrorAfter(
                 kArcAfterSeconds,
                 XrfErrorInfo(kArcErrorCode, QStringLiteral("Tube arc detected"),
                              QStringLiteral("HV supply: arc counter 1, HV tripped")));
         }},
        {QStringLiteral("survey-unprovisioned"),
         QStringLiteral("The technician runs the radiation survey before the provisioning check: "
                        "the instrument model is not known yet."),
         {},
         {},
         [](SimTechnician &t) {
             t.surveysBeforeProvisioning = true;
         }},
        {QStringLiteral("profile-upload-refused"),
         QStringLiteral("The cloud's profile storage is unavailable: every profile backup upload "
                        "is refused with HTTP 503, and the instrument keeps its factory "
                        "settings."),
         {},
         [](SimCloudServer &c) {
             c.scriptFailure(XrfNetworkManager::UploadProfileBackup, kServiceUnavailable,
                             QStringLiteral("Profile storage unavailable"), SimCloudServer::Always);
         }},
    };
}
