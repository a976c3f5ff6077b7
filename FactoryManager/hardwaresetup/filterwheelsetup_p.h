#pragma once

#include <QJsonObject>
#include <QString>

// What the filter wheel scan's files share: the abort state, the task status and progress of the
// factory thread, and the failure record of the scan.
namespace FilterWheelScan {

bool userAborted();
void setTaskStatus(const QString &status);
void setTaskProgress(double progress);
// Stores the failure message as results "errorMsg", logs it and returns false.
bool fail(QJsonObject *results, const QString &message);

} // namespace FilterWheelScan
