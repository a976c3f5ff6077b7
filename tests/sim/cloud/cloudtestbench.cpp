#include "cloudtestbench.h"

#include <QFile>
#include <QtTest>

CloudTestBench::CloudTestBench() : cloud(new SimCloudServer)
{
    if (!cloud->start())
        qFatal("cannot start the cloud simulator");
    network.reset(new SimNetworkManager(QUrl(cloud->baseUrl())));
    network->setInstrumentSerial(SERIAL);
}

XrfCloudResponse CloudTestBench::awaitResponse(QSignalSpy &spy, int id) const
{
    const auto matching = [&] {
        for (const QList<QVariant> &arguments : qAsConst(spy)) {
            const auto response = arguments.at(0).value<XrfCloudResponse>();
            if (response.requestId() == id)
                return response;
        }
        return XrfCloudResponse();
    };
    for (int waited = 0; matching().requestId() != id && waited < 5000; waited += 10)
        spy.wait(10);
    return matching();
}

QString CloudTestBench::writeFile(const QString &name, const QByteArray &content) const
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write a test file");
    return file.fileName();
}
