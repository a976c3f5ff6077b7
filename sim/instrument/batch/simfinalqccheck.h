#pragma once

#include "xrfmethod.h"
#include "xrfspectrum.h"

#include <QJsonObject>
#include <QList>
#include <QStringList>

// One final QC check: a batch template of the profile ("<profile>/templates/batch/<name>.json":
// "methodId", "checkSample" (a certified reference material), "elements" (symbols; empty: every
// calibrated element), "tolerance" (relative, of the certified value) and "minTolerance" (mass
// fraction): an element passes within the larger of the two) and the installed method it checks.
struct SimFinalQcCheck
{
    QString templateName;
    QString methodId;
    QString checkSample;
    double tolerance = 0;
    double minTolerance = 0;
    QStringList elements;
    XrfMethod method;

    // False with the message when the template or its method cannot be read, or, with
    // `requireCalibrated`, the method is not calibrated.
    static bool load(const QString &profilePath, const QString &templateName,
                     SimFinalQcCheck *check, QString *errorMsg, bool requireCalibrated = true);
    // The method's exposures the check is shot with: the open beams, else the collimated ones.
    QList<XrfExposureSettings> exposures() const;
    // The elements to check, of the method's "calibration": each with its beam and factors.
    QList<QJsonObject> calibratedElements() const;
    // Concentrations of the check sample from the spectra (one per exposure) with the method's
    // factors, against its certificate: the progress record, with "passed".
    QJsonObject evaluate(const QList<XrfSpectrum> &spectra) const;
    // "<profile>/<template name>_progress.json".
    static QString progressFilePath(const QString &profilePath, const QString &templateName);
};
