#pragma once

#include <QList>
#include <QString>

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
};
