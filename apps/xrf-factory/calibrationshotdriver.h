#pragma once

#include "stepsequence.h"
#include "technician.h"

#include "xrfcalibrationstandard.h"

#include <QEventLoop>
#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QStringList>

// Runs factory step 10 as the application does: the wrong-shot criteria are fetched, then the
// technician places each standard the library names ("Place %1 at window.") and starts its
// shots; a failed shot has the technician start the standard again (a few times), and a standard
// set aside for its 50 kV steps has the technician close the test stand lid first.
class CalibrationShotDriver : public QObject
{
    Q_OBJECT
public:
    explicit CalibrationShotDriver(const TechnicianPlan &plan, QObject *parent = nullptr);

    StepOutcome run();

private:
    void onCurrentSampleChanged(const QString &standard);
    void onShotComplete(const QJsonObject &stepJson);
    void onStandardComplete(const XrfCalibrationStandard &standard);
    void onCalibrationComplete(bool passed);
    void placeAndShoot(const QString &standard);
    void waitForCriteria();
    StepOutcome outcome() const;

    TechnicianPlan m_plan;
    QEventLoop m_loop;
    // Each standard's shot lines, in the order the standards were shot.
    QStringList m_standardOrder;
    QMap<QString, QStringList> m_shotLines;
    QMap<QString, int> m_attempts;
    QStringList m_notes;
    QString m_failure;
    int m_shots = 0;
    bool m_finished = false;
    bool m_passed = false;
};
