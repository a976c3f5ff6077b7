// Every JSON record read from lastResult.json, a settings section, a setup data file or a cloud
// answer: fromJsonObject on any object, then the record written and read back.

#include "fuzzinput.h"

#include "devicefactorystatus.h"
#include "filterwheelsetup.h"
#include "xrfairshotlist.h"
#include "xrfbeamgroups.h"
#include "xrfbeaminfolist.h"
#include "xrfcalibrationshot.h"
#include "xrfcalibrationstandard.h"
#include "xrfexposuresettings.h"
#include "xrffactorsetresults.h"
#include "xrffactorystabilityparams.h"
#include "xrffactorystepinfo.h"
#include "xrffilterpair.h"
#include "xrfhardwareconfig.h"
#include "xrfhardwaresetupstepslist.h"
#include "xrfhwbuttontestresult.h"
#include "xrfprerequisiteshot.h"
#include "xrfprofilepackage.h"
#include "xrfprovisioningdata.h"
#include "xrfradiationsurveyresult.h"
#include "xrfsafetysettings.h"
#include "xrfsoftwareversioninfo.h"
#include "xrfstabilitytestmetainfo.h"

namespace {

template<typename Record>
void roundTrip(const QJsonObject &json)
{
    Record record;
    QString error;
    if (!record.fromJsonObject(json, &error))
        return;
    Record again;
    again.fromJsonObject(record.toJsonObject(), &error);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QJsonObject json = FuzzInput::object(data, size);
    roundTrip<XrfFactoryStepInfo>(json);
    roundTrip<XrfHardwareSetupStepInfo>(json);
    roundTrip<XrfHardwareSetupStepsList>(json);
    roundTrip<XrfAirShot>(json);
    roundTrip<XrfAirShotList>(json);
    roundTrip<XrfBeamInfo>(json);
    roundTrip<XrfBeamInfoList>(json);
    roundTrip<BeamUsageGroup>(json);
    roundTrip<BeamIterationGroup>(json);
    roundTrip<XrfCalibrationShot>(json);
    roundTrip<XrfCalibrationStandard>(json);
    roundTrip<XrfExposureSettings>(json);
    roundTrip<XrfFilterProperties>(json);
    roundTrip<XrfFilterPair>(json);
    roundTrip<XrfFactorSetQCSummaryResults>(json);
    roundTrip<XrfFactoryStabilityParams>(json);
    roundTrip<XrfStabilityTestMetaInfo>(json);
    roundTrip<XrfHardwareConfig>(json);
    roundTrip<XrfHwButtonTestResult>(json);
    roundTrip<XrfPrerequisiteShot>(json);
    roundTrip<XrfPrerequisiteShotList>(json);
    roundTrip<XrfSyntheticShotSelectionCriteria>(json);
    roundTrip<XrfProfileMetaInfo>(json);
    roundTrip<XrfProfileBackupResult>(json);
    roundTrip<XrfProfileZipOption>(json);
    roundTrip<XrfProvisioningData>(json);
    roundTrip<XrfRadiationSurveyParam>(json);
    roundTrip<XrfRadiationSurveyResult>(json);
    roundTrip<XrfSafetySettings>(json);
    roundTrip<XrfSoftwareVersionInfo>(json);
    roundTrip<FilterScanParams>(json);
    roundTrip<FilterMoveExerciseParams>(json);
    roundTrip<StepStatus>(json);
    roundTrip<DeviceFactoryStatusRequest>(json);
    roundTrip<DeviceFactoryStatusResponse>(json);
    XrfJsonHelper::compareJsonObjects(json, XrfFactoryStepInfo().toJsonObject());
    return 0;
}
