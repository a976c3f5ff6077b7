// Scenarios of the method lists, the prerequisite shots and the synthetic shot packages.
#include "simscenarios_p.h"

#include "simcloudserver.h"
#include "simsyntheticpackage.h"
#include "simtechnician.h"
#include "xrfnetworkmanager.h"

namespace {
// What the hostile archive tries to write two folders above the one it is unpacked into.
const QString kEscapeName = QStringLiteral("synthetic-escape.txt");
} // namespace

QVector<SimScenario> methodScenarios()
{
    return {
        {QStringLiteral("prerequisite-lid-lifted"),
         QStringLiteral("The technician lifts the test stand lid during the first prerequisite "
                        "shot: the interlock ends the exposure and the shot fails."),
         nullptr, nullptr,
         [](SimTechnician &t) {
             t.liftsLidDuringPrerequisiteShot = true;
         }},
        {QStringLiteral("no-synthetic-package"),
         QStringLiteral("The cloud has no synthetic shot package for this hardware yet: the "
                        "request for it fails and the prerequisite step fails."),
         nullptr,
         [](SimCloudServer &c) {
             c.setPackage(SimCloudPackage::SyntheticShots, QString(), QByteArray());
         }},
        {QStringLiteral("synthetic-download-refused"),
         QStringLiteral("The file server refuses the synthetic package download (403): nothing is "
                        "unpacked and the prerequisite step fails."),
         nullptr,
         [](SimCloudServer &c) {
             c.scriptFailure(XrfNetworkManager::DownloadSyntheticShots, 403,
                             QStringLiteral("Forbidden"), SimCloudServer::Always);
         }},
        {QStringLiteral("full-demo-with-other-method"),
         QStringLiteral("The work order sells the full-demo part number FD-10000 besides its "
                        "ordinary methods: a full-demo unit can have no other method, the method "
                        "list is refused and the prerequisite step fails (default model)."),
         nullptr, nullptr,
         [](SimTechnician &t) {
             t.extraWorkOrderPartNumbers << QStringLiteral("FD-10000");
         }},
        {QStringLiteral("hostile-synthetic-archive"),
         QStringLiteral(
             "The cloud's synthetic package holds an entry \"../../synthetic-escape.txt\" "
             "and a link to /etc: the archive is refused whole, nothing is unpacked or "
             "written outside the instrument root, and the step fails."),
         nullptr,
         [](SimCloudServer &c) {
             c.setPackage(SimCloudPackage::SyntheticShots, QStringLiteral("syntheticShots.zip"),
                          SimSyntheticPackage::hostile(kEscapeName));
         }},
        {QStringLiteral("hostile-method-id"),
         QStringLiteral("The method part map names the alloy method \"../../../escape\": the id is "
                        "refused before it touches a path, the method list fails and so does the "
                        "prerequisite step (default model)."),
         nullptr, nullptr,
         [](SimTechnician &t) {
             t.methodIdEdits.insert(QStringLiteral("MTH-10010"), QStringLiteral("../../../escape"));
         }},
    };
}
