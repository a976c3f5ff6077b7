#include "xrffactorystepinfo.h"

QString XrfFactoryStepInfo::statusStr() const
{
    switch (m_status) {
    case NotStarted:
        return QStringLiteral("NotStarted");
    case Passed:
        return QStringLiteral("Passed");
    case Failed:
        return QStringLiteral("Failed");
    case InvalidatedByCloud:
        return QStringLiteral("Invalidated");
    case InProgress:
        return QStringLiteral("InProgress");
    default:
        return QStringLiteral("None");
    }
}
