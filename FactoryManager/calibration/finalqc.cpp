// Final QC: the batch test status the application shows.

#include "xrffactorymanager_p.h"

void XrfFactoryManager::XrfFactoryManagerPrivate::onGetFinalQcStatus()
{
    qDebug() << "Entering onGetFinalQcStatus()";
}
