// The simulated cloud holds up against careless and hostile clients: bodies over the limit are
// refused before they are read, idle connections do not keep /health from answering, and the
// state it keeps per serial number is bounded.

#include "simcloudserver.h"
#include "simcloudstate.h"
#include "xrfnetworkmanager.h"

#include <QTcpSocket>
#include <QtTest>

#include <memory>
#include <vector>

class TstCloudLimits : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void bodiesOverTheLimitOrWithoutALengthAreRefusedUnread_data();
    void bodiesOverTheLimitOrWithoutALengthAreRefusedUnread();
    void healthAnswersWhileIdleConnectionsAreOpen();
    void stateKeptPerSerialIsBounded();

private:
    std::unique_ptr<QTcpSocket> connectToCloud();
    // The status code of the answer to `request`, or 0 when none came.
    int statusOf(QTcpSocket &socket, const QByteArray &request);

    SimCloudServer m_cloud;
};

void TstCloudLimits::initTestCase()
{
    // Idle connections stay idle for the whole test: /health can only answer beside them.
    m_cloud.setReadTimeoutSeconds(120);
    QVERIFY(m_cloud.start());
}

void TstCloudLimits::cleanupTestCase()
{
    m_cloud.stop();
}

std::unique_ptr<QTcpSocket> TstCloudLimits::connectToCloud()
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, m_cloud.port());
    return socket->waitForConnected(30000) ? std::move(socket) : nullptr;
}

int TstCloudLimits::statusOf(QTcpSocket &socket, const QByteArray &request)
{
    socket.write(request);
    QByteArray answer;
    while (!answer.contains("\r\n") && socket.waitForReadyRead(30000))
        answer += socket.readAll();
    const QList<QByteArray> statusLine = answer.left(answer.indexOf("\r\n")).split(' ');
    return statusLine.size() > 1 ? statusLine.at(1).toInt() : 0;
}

void TstCloudLimits::bodiesOverTheLimitOrWithoutALengthAreRefusedUnread_data()
{
    QTest::addColumn<QByteArray>("headers");
    QTest::addColumn<int>("status");
    QTest::newRow("256 MB declared")
        << QByteArray("Content-Length: 268435456\r\nContent-Type: application/json\r\n") << 413;
    QTest::newRow("chunked") << QByteArray("Transfer-Encoding: chunked\r\n") << 411;
}

// Only the headers are sent: the answer must not wait for a body it would have to hold.
void TstCloudLimits::bodiesOverTheLimitOrWithoutALengthAreRefusedUnread()
{
    QFETCH(QByteArray, headers);
    QFETCH(int, status);
    auto socket = connectToCloud();
    QVERIFY(socket);
    const QByteArray request =
        "POST /api/v1/devices/800123/results HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n";
    QCOMPARE(statusOf(*socket, request), status);
}

// Each idle connection holds a worker until the read timeout lets it go: /health must answer
// while 40 of them hold theirs.
void TstCloudLimits::healthAnswersWhileIdleConnectionsAreOpen()
{
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 40; ++i) {
        idle.push_back(connectToCloud());
        QVERIFY(idle.back());
        idle.back()->write("POST /api/v1/devices/800123/results HTTP/1.1\r\nHost: 127.0.0.1\r\n");
        idle.back()->flush();
    }
    auto probe = connectToCloud();
    QVERIFY(probe);
    QCOMPARE(statusOf(*probe, "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"), 200);
    int stillOpen = 0;
    for (const auto &socket : idle) {
        socket->waitForReadyRead(0);
        stillOpen +=
            socket->state() == QAbstractSocket::ConnectedState && !socket->bytesAvailable() ? 1 : 0;
    }
    QCOMPARE(stillOpen, 40);
}

void TstCloudLimits::stateKeptPerSerialIsBounded()
{
    SimCloudState state;
    const QJsonObject order{{"deviceType", "TARVO-K100"}};
    const int serials = SimCloudState::kMaxInstruments + 10;
    for (int serial = 0; serial < serials; ++serial)
        state.setWorkOrder(QString::number(serial), order);
    // The serials heard of longest ago are forgotten, the recent ones kept.
    QVERIFY(state.workOrder("0").isEmpty());
    QVERIFY(!state.workOrder(QString::number(serials - 1)).isEmpty());

    SimCloudCall call;
    call.requestId = XrfNetworkManager::PutProvisioningResult;
    call.pathValues.insert("serial", "42");
    for (int i = 0; i < SimCloudState::kMaxResultsPerRequest + 5; ++i) {
        call.input = QJsonObject{{"n", i}};
        state.handle(call);
    }
    const QList<QJsonObject> kept =
        state.receivedResults("42", XrfNetworkManager::PutProvisioningResult);
    QCOMPARE(kept.size(), SimCloudState::kMaxResultsPerRequest);
    QCOMPARE(kept.last().value("n").toInt(), SimCloudState::kMaxResultsPerRequest + 4);
}

QTEST_GUILESS_MAIN(TstCloudLimits)
#include "tst_cloudlimits.moc"
