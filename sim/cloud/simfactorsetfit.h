#pragma once

#include "xrfutils.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

class XrfSpectrum;

// The manufacturing cloud's factor set: from the calibration shots of a method's standards it
// fits, per element, the certified mass fraction against the net line intensity, and later checks
// the installed factors against the same standards (the QC summary). Pure computation on a method
// folder as the instrument uploads it (CalcMethod_<M>.json and calibrationworkspace/, with the
// steps in procedure/calibrationsteps.json and the shots in shots/); no network here.
//
// Net line intensity: counts in the peak region, line energy +- kPeakHalfWidthEv, less a linear
// background through the mean counts per channel of two side windows, each kBackgroundWidthEv
// wide and at least kBackgroundGapEv away from the peak region; a side window that would sit on
// another line of the method's elements (or of argon in the air path, or of the tube anode) moves
// outward past it. Another element's K-beta or escape peak inside the peak region is taken off by
// that element's K-alpha (OverlapCorrection). Per element the fit tries the K-alpha (L-alpha above
// kHeaviestKLineZ) and, when that is overlapped, the beta line; near, far or no side windows; with
// and without the overlap corrections; on every beam; and keeps the best fit. The method file
// records line, energy, windows ("windowsEv"), corrections ("overlaps") and beam per element:
// measure a concentration with measuredConcentration() on a spectrum of the element's beam.
namespace SimFactorSetFit {

// About one detector FWHM at 6 keV on each side: the region holds ~98 % of a K-alpha peak.
constexpr double kPeakHalfWidthEv = 150.0;
// The side windows start clear of the peak's tails and are narrow enough to stay off most
// neighbouring lines.
constexpr double kBackgroundGapEv = 60.0;
constexpr double kBackgroundWidthEv = 100.0;
// K-alpha lines up to tin (25 keV, still excited by a 40-50 kV beam); L-alpha above.
constexpr int kHeaviestKLineZ = 50;
// A fit explains at least this share of the variance of the certified values. Most fits of the
// simulated line reach 0.98; chromium over steel, nickel alloy 625 and brass alone stays near
// 0.95-0.96, since the molybdenum and nickel of alloy 625 absorb its K-alpha more than steel does
// (a matrix effect a single-line fit cannot take off). A standard shot on a look-alike sample
// drops the fit of some element to 0.9 or far below.
constexpr double kMinRSquared = 0.93;
// Fewer standards than this do not make a fit.
constexpr int kMinStandards = 3;
// A line whose richest standard gives fewer net counts per second than this is measured with
// counting noise a single check shot cannot repeat; another line or beam is preferred.
constexpr double kMinRichestCps = 50;
// The QC summary passes when every standard is recomputed within this mass fraction (5 %): a
// single-line calibration over matrices as different as steel, nickel alloy and brass misses its
// major elements by up to ~4 % (absorption differs from matrix to matrix).
constexpr double kQcTolerance = 0.05;

// The run status the cloud answers for a finished run.
enum RunStatus { OutputReady = 4, ApprovalFailed = 5, WorkspaceError = 6 };

// Argon's K-alpha: the air path between nose and sample shows it in every spectrum.
constexpr int kArgonZ = 18;
// The detector's nominal resolution (FWHM at Mn K-alpha, 5.9 keV), for the overlap shares.
constexpr double kNominalFwhmEv = 145.0;
// The silicon detector's escape peaks lie this far below their parent lines.
constexpr double kSiliconEscapeKeV = 1.740;
// Overlaps smaller than this share of the interfering K-alpha are left alone.
constexpr double kMinOverlapFactor = 1e-4;
// How far a side window keeps from other lines: the fit tries both, the near one that keeps the
// background close to the peak and the far one clear of the tails of major elements' peaks, and
// no background at all (where the side windows of an alloy's line forest sit on the tails of
// major peaks rather than on background).
constexpr double kNearClearanceEv = 150.0;
constexpr double kFarClearanceEv = 250.0;
// How far a side window may move out from its peak region to clear other lines.
constexpr double kMaxBackgroundOffsetEv = 1500.0;

struct LineWindows
{
    double peakLowEv = 0, peakHighEv = 0;
    double leftLowEv = 0, leftHighEv = 0;
    double rightLowEv = 0, rightHighEv = 0;

    // Without side windows the peak region's counts are taken whole.
    bool hasBackground() const;
    double lowestEv() const;
    double highestEv() const;
    // {"peak": [low, high], "left": [...], "right": [...]} in eV; no "left" and "right" without
    // background.
    QJsonObject toJson() const;
    bool fromJson(const QJsonObject &json);
};
// The windows of a line, `clearanceEv` clear of `otherLinesKeV` where they can be.
LineWindows lineWindows(double lineEnergyKeV, const QVector<double> &otherLinesKeV = {},
                        double clearanceEv = kNearClearanceEv);

// The K-alpha, K-beta, L-alpha and L-beta energies (keV) of `atomicNumbers`, argon's K-alpha and
// the lines of the tube anode `anodeZ` (0: none): what the side windows keep clear of.
QVector<double> spectrumLines(const QVector<int> &atomicNumbers, int anodeZ);
// `lines` without the one at `energyKeV`.
QVector<double> otherLines(const QVector<double> &lines, double energyKeV);

struct ChosenLine
{
    XrfUtils::EmissionLine line = XrfUtils::KAlpha;
    double energyKeV = 0;
};
// The element's alpha line: K-alpha up to kHeaviestKLineZ, L-alpha above.
ChosenLine fittedLine(int atomicNumber);
// The lines worth a fit for element `z` among `lines` (spectrumLines() of the method): the alpha
// line, and the beta line too when another line sits inside the alpha's peak region and none
// inside the beta's.
QVector<ChosenLine> candidateLines(int atomicNumber, const QVector<double> &lines);
QString lineName(XrfUtils::EmissionLine line); // "KA", "KB", "LA", "LB"

// Another element's K-beta line, or the silicon escape peak of its K-alpha or K-beta, inside a
// peak region: `factor` times the net intensity of that element's K-alpha line (at `energyKeV`, in
// `windows`) is taken off the region's net intensity. The factor sums, over those peaks, their
// size per K-alpha count (K-beta/K-alpha emission rate ratio from xraylib, escape fraction) times
// their share inside the region at the detector's nominal resolution.
struct OverlapCorrection
{
    QString element;
    double energyKeV = 0;
    LineWindows windows;
    double factor = 0;

    QJsonObject toJson() const;
    bool fromJson(const QJsonObject &json);
};
// The corrections for a line in `windows`, from the K-beta lines of `atomicNumbers` (other than
// `ownZ`) inside its peak region; `lines` as for lineWindows().
QVector<OverlapCorrection> overlapCorrections(const LineWindows &windows, int ownZ,
                                              const QVector<int> &atomicNumbers,
                                              const QVector<double> &lines);

// Net counts per live second of the line in `windows` of `spectrum`. False with a message when
// the spectrum has no energy scale or live time, or the windows fall outside its channels.
bool netLineIntensity(const XrfSpectrum &spectrum, const LineWindows &windows, double *cps,
                      QString *errorMsg = nullptr);
// The same with lineWindows(lineEnergyKeV).
bool netLineIntensity(const XrfSpectrum &spectrum, double lineEnergyKeV, double *cps,
                      QString *errorMsg = nullptr);

// The net intensity in `windows` less the overlap corrections.
bool elementIntensity(const XrfSpectrum &spectrum, const LineWindows &windows,
                      const QVector<OverlapCorrection> &overlaps, double *cps,
                      QString *errorMsg = nullptr);

struct FitPoint
{
    QString standard;
    double intensity = 0; // net counts per live second
    double certified = 0; // mass fraction
};

// One element's calibration line, as it is written into the method file.
struct ElementFit
{
    QString element;
    QString line;
    double energyKeV = 0;
    LineWindows windows;
    QVector<OverlapCorrection> overlaps;
    int beam = 0;
    double slope = 0;
    double intercept = 0;
    double rSquared = 0;
    QString worstStandard;
    double worstAbsError = 0;
    QVector<FitPoint> points;

    QJsonObject toJson() const;
    // The factors of an entry of the method file's "calibration" "elements" (no points).
    bool fromJson(const QJsonObject &json, QString *errorMsg = nullptr);
};

// The mass fraction of an element in `spectrum` (a spectrum of the element's beam) by the
// calibration `element` (an entry of the method file's "calibration" "elements"): intercept +
// slope * elementIntensity() with the entry's windows and overlap corrections.
bool measuredConcentration(const XrfSpectrum &spectrum, const QJsonObject &element,
                           double *massFraction, QString *errorMsg = nullptr);

// Ordinary least squares certified = intercept + slope * intensity over `points`, with rSquared
// and the standard the line misses most. False, with slope and rSquared 0, when the points cannot
// define a line (fewer than two, or all intensities or all certified values equal).
bool fitPoints(const QVector<FitPoint> &points, ElementFit *fit);

struct RunOutcome
{
    int runStatusId = WorkspaceError;
    QString message; // why a run failed; empty for OutputReady
};

// The fits of every element of a method folder, whatever their quality.
struct MethodFit
{
    QString methodPath;
    QJsonObject method; // the method file as read
    QVector<ElementFit> fits;
    QStringList uncalibrated; // elements whose certified values are the same in every standard
};
// False with a WorkspaceError in `*failure` when the folder cannot be processed.
bool fitMethodFolder(const QString &methodFolder, const QString &methodId, MethodFit *result,
                     RunOutcome *failure);

// Fits every element of method `methodId` in `methodFolder` and, when all fits are good, writes
// "isFactorSet" and "calibration" (with `runId`) into its method file.
RunOutcome calibrateMethodFolder(const QString &methodFolder, const QString &methodId, int runId);
// Recomputes the standards with the method file's factors and writes
// calibrationworkspace/calibrationsummary/qcSummary.json; passes within kQcTolerance.
RunOutcome qcSummaryOfMethodFolder(const QString &methodFolder, const QString &methodId);

// Unpacks an uploaded method archive, runs the factor set (or the QC summary) on it and packs
// the result into `*archive` when the run succeeds.
RunOutcome processMethodArchive(const QByteArray &upload, const QString &methodId, bool qcSummary,
                                int runId, QByteArray *archive);

} // namespace SimFactorSetFit
