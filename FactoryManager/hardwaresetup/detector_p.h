#pragma once

// The working records of the reset width and PIN detector calibrations
// (detector.cpp), shared with the tests that drive the searches on their own.
#include "detectorcalibration.h"
#include "xrffactorymanager_p.h"

struct XrfFactoryManager::XrfFactoryManagerPrivate::ResetWidthSearch
{
    int target = 0;
    int tolerance = 0;
    int width = 0;
    int height = 0;
    int maxIterations = 0;
    int delayMs = 0;
    unsigned short resetClocks = 0;
    QJsonArray heights;
    QJsonArray widths;

    QJsonObject results() const
    {
        return {{QStringLiteral("resetHeight"), heights}, {QStringLiteral("resetWidth"), widths}};
    }
};

struct XrfFactoryManager::XrfFactoryManagerPrivate::PinCalibration
{
    QJsonObject params;
    int maxIterations = 0;
    int acquisitionMs = 0;
    int delayMs = 0;
    int maxResetHeight = 0;
    int minFastCounts = 0;
    int minWindowSize = 0;
    unsigned short resetClocks = 0;
    DetectorCalibration::PinDacState dacs;
    int height = 0;
    unsigned int fastCounts = 0;
    int windowSize = 0;
    bool countsOk = false;
    bool windowOk = false;
    int iterations = 0;
    bool tubeOn = false;

    int param(const char *key) const { return params.value(QLatin1String(key)).toInt(); }
    bool found() const { return countsOk && windowOk && dacs.heightOk; }
    QJsonObject results() const
    {
        return {
            {QStringLiteral("fetSubDacValue"), dacs.fetSub},
            {QStringLiteral("resetWidth"), dacs.resetWidth},
            {QStringLiteral("fastCounts"), qint64(fastCounts)},
            {QStringLiteral("windowSize"), windowSize},
            {QStringLiteral("iterations"), iterations},
        };
    }
};
