// Factor set and QC summary, factory step 11: the facade's operations, run on the factory thread.

#include "xrffactorymanager_p.h"

void XrfFactoryManager::startFactorSet(QString methodName)
{
    d->startFactorSet(methodName, false);
}

void XrfFactoryManager::abortFactorSet()
{
    d->doFactorSetQCSummaryAbort(false);
}

void XrfFactoryManager::invalidateFactorSetResult(QString methodName)
{
    d->invalidateFactorSetQCSummaryResultForMethod(methodName, false);
}

void XrfFactoryManager::startQCSummary(QString methodName)
{
    d->startFactorSet(methodName, true);
}

void XrfFactoryManager::abortQCSummary()
{
    d->doFactorSetQCSummaryAbort(true);
}

void XrfFactoryManager::invalidateQCSummaryResult(QString methodName)
{
    d->invalidateFactorSetQCSummaryResultForMethod(methodName, true);
}
