#pragma once

#include <QByteArray>
#include <QString>

// Until the cloud fits a factor set, the calibrated method it returns is the uploaded workspace
// with "isFactorSet": true in "CalcMethod_<methodId>.json". The archive as it came when it cannot
// be read or holds no such file (the library then refuses it).
QByteArray simPassThroughCalibratedMethod(const QByteArray &uploadedZip, const QString &methodId);
