#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

class XrfCalibrationStep;
class XrfCalibrationStepList;
class XrfExposureSettings;
class XrfFilterPairsList;
class XrfHardwareConfig;

// Calibration workspaces and the calibration data folders of the instrument.
class XrfCalibrationUtils
{
public:
    // Where the wrong-shot (calibration diagnostics) criteria are kept.
    static QString calDiagnosticsCriteriaDir();

    // The collimated twin of an uncollimated exposure: the same tube settings and time through
    // the collimated hole of the filter pair with the same material and thickness. False with a
    // message when the filter has no pair or the pair's collimated position is not in the
    // configuration's filter table.
    static bool getCollimatedBeam(const XrfExposureSettings &unCollimated,
                                  const XrfHardwareConfig &config,
                                  const XrfFilterPairsList &filterPairs,
                                  XrfExposureSettings *collimated, QString *errorMsg);

    // ---- Calibration workspaces and the calibration shots ----
    //
    // A method's workspace is the folder "<profile>/instrumentsettings/methods/<id>/": its method
    // file "CalcMethod_<id>.json" and "calibrationworkspace/procedure/calibrationsteps.json",
    // {"methodId", "templateName", "bigSetFactorSetProcedure", "customRegionSymbols",
    // "beams": [{"beamNumber", "exposure", "roiBackgroundRate"}], "customWindowBackgroundRates":
    // {window: cps}, "steps": [XrfCalibrationStep]}. The shots of its passed steps are copied
    // into "calibrationworkspace/shots/" when the calibration is complete.
    //
    // A method template "CalcMethodTemplate_<name>.json" gives {"displayName", "beams":
    // [{"beamNumber" (1 and up), "shotTimeSeconds", "useLiveTime"}], "standards": [{"sampleID",
    // "sampleName", "sampleType", "sampleLot", "beams": [beam numbers]}], "method": {keys copied
    // into the method file}}. Beam n takes the n-th exposure of the method.

    static QString calibrationStepsFile(const QString &profilePath, const QString &methodId);
    static QString methodTemplateFile(const QString &profilePath, const QString &templateName);
    // Where a method's disabled workspace is kept; a valid new workspace removes it.
    static QString disabledMethodPath(const QString &profilePath);
    // The sample ID of the steps that measure the background of custom windows.
    static const QString kAirSampleId;

    // Creates the workspace of `methodId` from the template: the method file (exposures,
    // template's "method" keys) and the steps of every standard and beam, with one air step per
    // beam when the method has custom regions. A clone (non-empty `cloneDataFolder`) takes the
    // steps file of that folder when it has one. False with a message naming the file and key
    // when the template is missing or malformed, names a beam below 1 or beyond `exposures`, or
    // a write fails; nothing is left half written then (the caller removes the folder).
    static bool createCalibrationWorkspaceFactory(const QString &profilePath,
                                                  const QString &methodId,
                                                  const QString &templateFile,
                                                  const QList<XrfExposureSettings> &exposures,
                                                  const QStringList &customSymbols,
                                                  const QString &cloneDataFolder,
                                                  const QString &bigSetProcedure,
                                                  QString *errorMsg);
    // The steps file reads, belongs to `methodId` and, with `requireSteps`, has at least one
    // step; with `requireMethodFile` the method file beside it must read too.
    static bool validateCalibrationWorkspaceFactory(const QString &methodId,
                                                    const QString &stepsFile, QString *errorMsg,
                                                    bool requireSteps, bool requireMethodFile);
    // Gives the steps new exposures (beam n the n-th, keeping each step's shot time and live
    // time setting) and custom regions; a step whose exposure changed starts over, and with
    // `resetStatus` every step does.
    static bool updateCalibrationWorkspace(const QString &stepsFile,
                                           const QList<XrfExposureSettings> &exposures,
                                           const QStringList &customSymbols, bool resetStatus,
                                           QString *errorMsg);
    // Installs the synthetic method file as the method file of `methodId` (a workspace without
    // steps), with the exposures of this instrument.
    static bool createSyntheticMethod(const QString &profilePath, const QString &methodId,
                                      const QString &syntheticFile,
                                      const QList<XrfExposureSettings> &collimatedExposures,
                                      const QList<XrfExposureSettings> &exposures, bool fullDemo,
                                      QString *errorMsg);
    // The steps of the methods' workspaces as one list: a step that several methods need with
    // the same exposure appears once with all their uses; the steps of one standard follow each
    // other (standards in the order the methods first name them, steps by shoot order). Methods
    // of `syntheticDirs` with a folder are calibrated from synthetic shots and have no steps.
    static bool getCalibrationStepList(const QString &profilePath, const QStringList &methodIds,
                                       XrfCalibrationStepList *steps,
                                       const QMap<QString, QString> &syntheticDirs,
                                       QString *errorMsg);
    // Writes the status of `step` into the steps file of each method that uses it.
    static bool updateCalibrationStepStatus(const QString &profilePath,
                                            const XrfCalibrationStep &step, QString *errorMsg);
    // The wrong-shot check of a saved calibration shot against the criteria of
    // calDiagnosticsCriteriaDir() ("wrongShotCriteria.json": {"standards": {sampleID:
    // {"present": [element symbols]}}}): every listed element that the shot's tube voltage
    // excites must show its K alpha (L alpha above Z 50) peak over the neighbouring background.
    // `good` is true when there are no criteria for the sample. False (and `good` untouched) when
    // the check cannot be made: unreadable shot or criteria, no energy scale.
    static bool checkCalibrationShot(const QString &shotFile, bool *good, QString *errorMsg);
    // Copies the library's shot of every passed step into the workspaces of `methodIds` (not
    // those calibrated from synthetic shots). False with the missing shots named.
    static bool populateWorkSpaceWithCaliShot(const QString &profilePath,
                                              const QString &shotLibrary,
                                              const QStringList &methodIds,
                                              const QMap<QString, QString> &syntheticDirs,
                                              QString *errorMsg);
    // The background of a beam's region of interest in the workspace (beam index from 0).
    static bool updateBeamRoiBackgroundRate(const QString &stepsFile, int beamIndex, double cps,
                                            QString *errorMsg);
    // Stores the background of custom windows in each workspace whose steps name them.
    static bool updateCustomWindowBackgroundRate(const QString &profilePath,
                                                 const QStringList &methodIds,
                                                 const QMap<QString, double> &rates,
                                                 QString *errorMsg);
};
