// Radiation survey.

#include "xrffactorymanager_p.h"

void XrfFactoryManager::XrfFactoryManagerPrivate::onLoadRadiationSurveyParams()
{
    qDebug() << "Entering onLoadRadiationSurveyParams()";
}
