// The library's own files as its loaders read them: the work order, the factory setup data, the
// method part map and lastResult.json, with what the steps build from them (the hardware setup
// sub-step list, the stability parameters, the beam list, the factory status, the survey
// parameters). The first byte picks the file, the rest is its content.

#include "fuzzinput.h"

#include "devicefactorystatus.h"
#include "siminstrument.h"
#include "xrffactorymanager.h"
#include "xrffactorymanager_p.h"

#include <QThread>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

Worker &worker()
{
    static Worker *instance = [] {
        FuzzInput::instrumentHome();
        // The loaders ask the instrument what it has fitted.
        static SimInstrument instrument(QStringLiteral("default"));
        instrument.install();
        auto *created = new Worker(XrfFactoryManager::instance());
        created->factoryThread = QThread::currentThread();
        created->buildFilePaths();
        return created;
    }();
    return *instance;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    Worker &w = worker();
    const QByteArray content = FuzzInput::bytes(data + 1, size - 1);
    QString error;
    switch (data[0] % 4) {
    case 0:
        FuzzInput::writeFile(w.workOrderFilePath, content);
        w.workOrder = QJsonObject();
        w.modelMethodsLoaded = false;
        w.loadWorkOrderInfoFromFile();
        w.modelFilesIndex();
        break;
    case 1:
        FuzzInput::writeFile(w.factorySetupDataFilePaths.value(0), content);
        w.factorySetupInfo = QJsonObject();
        w.defaultHwParams = QJsonObject();
        if (w.loadFactorySetupDataFile(w.factorySetupDataFilePaths.value(0))) {
            w.populateHardwareSetupSteps();
            w.populateBeamsSetupBeamList(true);
            w.loadRadiationSurveyParamsFromSetupData(&error);
        }
        break;
    case 2:
        FuzzInput::writeFile(w.methodPartMapFilePaths.value(0), content);
        w.loadMethodPartMapFile(w.methodPartMapFilePaths.value(0));
        break;
    default: {
        FuzzInput::writeFile(w.lastResultFilePath, content);
        w.loadFactorySetupLastResult(&error);
        XrfFactoryStepInfo step;
        for (int id = XrfUtils::Provisioning; id <= XrfUtils::FactorSet; ++id)
            w.loadFactoryStepFromLastResult(XrfUtils::FactoryStepId(id), &step, &error);
        DeviceFactoryStatusResponse status;
        w.loadDeviceFactoryStatusFromLastResult(&status);
        w.loadStabilityMetaInfoFromLastResult();
        w.loadFactorSetStatusFromLastResult();
        w.populateHardwareSetupSteps();
        break;
    }
    }
    FuzzInput::removeKeptAside(w.factoryDataPath);
    return 0;
}
