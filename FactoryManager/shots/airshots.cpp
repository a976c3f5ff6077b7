// Air shots: the shot list the application shows.

#include "xrffactorymanager_p.h"

void XrfFactoryManager::XrfFactoryManagerPrivate::onGetAirShotList()
{
    qDebug() << "Entering onGetAirShotList()";
    qDebug() << "Leaving onGetAirShotList(), shots:" << airShots.airShots().size();
}
