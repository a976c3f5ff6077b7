// The button and customer IO operator tests and the real-time clock check.
#include "xrffactorymanager_p.h"

void XrfFactoryManager::XrfFactoryManagerPrivate::doHardwareButtonsTest()
{
    beginHardwareSetupStep(QStringLiteral("instrumentButtonsTest"));
    onHardwareSetupStepComplete(false, QStringLiteral("The buttons test is not available yet"));
}

void XrfFactoryManager::XrfFactoryManagerPrivate::doHardwareCustomerIOTest()
{
    beginHardwareSetupStep(QStringLiteral("customerIOTest"));
    onHardwareSetupStepComplete(false, QStringLiteral("The customer IO test is not available yet"));
}

void XrfFactoryManager::XrfFactoryManagerPrivate::onHardwareSetupButtonTestComplete(
    const QJsonObject &)
{ }

void XrfFactoryManager::XrfFactoryManagerPrivate::onHardwareSetupCustomerIOTestComplete(
    const QJsonObject &)
{ }

void XrfFactoryManager::onHardwareSetupButtonTestComplete(const QJsonObject &result)
{
    d->onHardwareSetupButtonTestComplete(result);
}

void XrfFactoryManager::onHardwareSetupCustomerIOTestComplete(const QJsonObject &result)
{
    d->onHardwareSetupCustomerIOTestComplete(result);
}
