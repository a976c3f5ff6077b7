#include "xrfcalcmanager.h"

#include "xrfsettingsmanager.h"

#include <QDebug>

XRF_DEFINE_DEFAULTED_SERVICE(XrfCalcManager)

void XrfCalcManager::setCalcDebugEnable(bool enable, bool persist)
{
    m_enabled = enable;
    if (!persist)
        return;
    XrfSettingsManager *settings = XrfSettingsManager::instance();
    QJsonObject section;
    int code = settings->getUniversalSetting(QStringLiteral("calculation"), &section);
    if (code == XrfSettingsManager::NoError) {
        section.insert(QStringLiteral("calcDebugEnabled"), enable);
        code = settings->setUniversalSetting(QStringLiteral("calculation"), &section);
    }
    if (code != XrfSettingsManager::NoError)
        qWarning().noquote() << "Failed to store calcDebugEnabled in 'calculation', err:"
                             << XrfSettingsManager::errorText(code);
}
