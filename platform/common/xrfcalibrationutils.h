#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

class XrfCalibrationStep;
class XrfCalibrationStepList;
class ModelMethod;
class XrfAirShotList;
class XrfExposureSettings;
class XrfFilterPairsList;
class XrfHardwareConfig;
class XrfPrerequisiteShotList;
class XrfSyntheticShotSelectionCriteriaPerMethod;

// Calibration workspaces, the method folders of the profile, the global calibration library and
// the synthetic shot packages.
//
// Method workspaces: "<profile>/instrumentsettings/methods/<id>/" with the method file
// "CalcMethod_<id>.json" (XrfMethod, which also holds the method-id rule).
//
// Global calibration library: "<folder>/globalCalibrationLib.json", optional:
//   {"serviceCalibration": bool,
//    "cloneMethods": [{"id": clone id, "sourceMethodId": factory method id,
//                      "cloneDataFolder": folder name below <folder>/cloneData}]}
// Service calibration means the methods are calibrated by the service centre, not by this
// factory line: their workspaces are kept only while they are factor-set.
//
// Synthetic shot package (unpacked into syntheticShotsDir(), one folder per method id and probe
// head suffix, all names following the method-id rule):
//   <method id><suffix>/selection.json
//       {"parameter": "resolution", "sets": [{"folder": "fwhm140", "maxValue": 140.0}, ...]}
//       the sets in ascending "maxValue"; a measured value picks the first set whose "maxValue"
//       is at least the value
//   <method id><suffix>/<set folder>/CalcMethod_<method id>.json
//       the synthetic method as prepared for hardware of that set
// A selection parameter's value is the width (FWHM, eV) of the prerequisite shot's peak at its
// "peakEnergyEv", measured with the energy scale of that peak and its "referenceEnergyEv" peak;
// the shot is the one whose "selectionParameters" name the parameter.
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

    // Removes every method workspace of the profile ("<profile>/instrumentsettings/methods" and
    // all below it; links are removed, never followed). True when nothing is left (also when
    // there was nothing); false with the message otherwise or for an empty profile path.
    static bool removeAllMethods(const QString &profilePath, QString *errorMsg = nullptr);

    // Loads the global calibration library of `folder` (see above) into the process, unless
    // it is loaded from that folder already and `reload` is false. A missing file is an empty
    // library unless `requireFile`; a malformed one is an error naming the file and key, and
    // leaves the library that was loaded before. Thread-safe.
    static bool loadGlobalCalibrationLib(const QString &folder, bool reload, bool requireFile,
                                         QString *errorMsg = nullptr);
    // The loaded library says the methods are calibrated by the service centre.
    static bool usingServiceCalibration();
    // The clones of `methods` that the loaded library defines, appended to `clones`: a copy of
    // the source method with the clone's id, not a factory method, its factory method id the
    // source's, its clone data folder "<library folder>/cloneData/<cloneDataFolder>". Clones
    // whose id or folder breaks the method-id rule, or whose source is not among `methods`, are
    // skipped. False only for a null `clones`.
    static bool getCloneMethodList(QList<ModelMethod> *clones, const QList<ModelMethod> &methods);

    // Where the synthetic shot packages are unpacked:
    // "<home>/calibrationdefault/syntheticShots".
    static QString syntheticShotsDir();
    // The folder suffix of a probe head: "-Brass" for probe type "Brass" (case-sensitive),
    // otherwise empty.
    static QString syntheticShotDirSuffix(const QString &probeType);
    // "<filesPath>/syntheticMethod/CalcMethod_<method id>.json": the processed synthetic method.
    static QString syntheticMethodFilePath(const QString &filesPath, const QString &methodId);
    // Measures the method's selection parameter from `shots` and picks its synthetic shot set
    // from "<syntheticShotsDir()>/<method id><suffix>/selection.json". `criteria` receives the
    // method id, part number, parameter, value and, on success, the set's folder as its files
    // path; on failure its status message says why (no parameter, no passed shot measuring it,
    // no peak, no package folder for the method, no set wide enough, a bad selection file).
    static bool
    calculateSyntheticShotSelectionCriteria(const ModelMethod &method, const QString &suffix,
                                            const XrfPrerequisiteShotList &shots,
                                            XrfSyntheticShotSelectionCriteriaPerMethod *criteria);
    // Processes the synthetic shot set of `filesPath` for the method: its prepared method
    // "CalcMethod_<method id>.json" gets this instrument's beams (the exposures of the air shots
    // whose usage names the method's template name, from the collimated list for a collimated
    // method, in beam order, each with the background rate its air shot measured) and is written
    // to syntheticMethodFilePath(filesPath, id). False with the message when the prepared method
    // is missing or malformed, no air shot serves the method, or the write fails.
    static bool processSyntheticShots(const ModelMethod &method, const XrfAirShotList &unCollimated,
                                      const XrfAirShotList &collimated, const QString &filesPath,
                                      QString *errorMsg = nullptr);
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
    // when the template is missing or malformed, names a beam below 1, has no beam that
    // `exposures` covers, or a write fails (the caller removes the folder). Template beams beyond
    // `exposures` are left out.
    static bool createCalibrationWorkspaceFactory(
        const QString &profilePath, const QString &methodId, const QString &templateFile,
        const QList<XrfExposureSettings> &exposures, const QStringList &customSymbols,
        const QString &cloneDataFolder, const QString &bigSetProcedure, QString *errorMsg);
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
