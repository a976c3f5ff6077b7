#include "simcloudserver.h"

#include "simreferencematerials.h"

#include "simcloudroutes.h"
#include "simcloudscript.h"
#include "simcloudstate.h"
#include "xrfnetworkmanager.h"

#include <QJsonDocument>

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {
QString text(const std::string &value)
{
    return QString::fromStdString(value);
}

void writeReply(const SimCloudReply &reply, httplib::Response &response)
{
    response.status = reply.status;
    response.set_content(reply.body.constData(), size_t(reply.body.size()),
                         reply.contentType.constData());
}

// The request's own input: query parameters of a GET, or its JSON body, or its uploaded file.
bool readInput(const SimCloudRoute &route, const httplib::Request &request, SimCloudCall *call,
               QString *error)
{
    for (const auto &param : request.params)
        call->input.insert(text(param.first), text(param.second));
    if (route.kind == SimCloudRoute::Upload) {
        if (request.is_multipart_form_data()) {
            const auto file = request.get_file_value("file");
            call->content = QByteArray::fromStdString(file.content);
            call->fileName = text(file.filename);
            const QJsonDocument meta = QJsonDocument::fromJson(
                QByteArray::fromStdString(request.get_file_value("meta").content));
            const QJsonObject metaObject = meta.object();
            for (auto it = metaObject.begin(); it != metaObject.end(); ++it)
                call->input.insert(it.key(), it.value());
        } else {
            call->content = QByteArray::fromStdString(request.body);
        }
        return true;
    }
    if (request.method == "GET" || request.body.empty())
        return true;
    QJsonParseError parseError;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(request.body), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        *error = parseError.error != QJsonParseError::NoError
            ? QStringLiteral("Malformed JSON body: %1").arg(parseError.errorString())
            : QStringLiteral("Request body is not a JSON object");
        return false;
    }
    const QJsonObject body = document.object();
    for (auto it = body.begin(); it != body.end(); ++it)
        call->input.insert(it.key(), it.value());
    return true;
}
} // namespace

struct SimCloudServer::Private
{
    httplib::Server server;
    std::thread thread;
    int port = 0;
    SimCloudState state;
    SimCloudScript script;

    std::mutex mutex;
    std::condition_variable stopping;
    bool stopRequested = false;
    QHash<int, int> requestCounts;
    std::atomic<bool> offline{false};
    std::atomic<int> offlineAtStep{-1};

    void registerRoutes();
    void serve(const SimCloudRoute &route, const httplib::Request &request,
               httplib::Response &response);
    void serveFile(const httplib::Request &request, httplib::Response &response);
    int countRequest(int routeId, const httplib::Request &request);
    // Applies a scripted entry; true when it has answered the request.
    bool applyScript(int requestId, httplib::Response &response);
    void waitUnlessStopping(int delayMs);
};

void SimCloudServer::Private::registerRoutes()
{
    // A body is read into memory whole: one without a declared length, or longer than the limit,
    // is refused before any of it is read.
    server.set_pre_routing_handler([](const httplib::Request &request,
                                      httplib::Response &response) {
        if (request.method != "POST" && request.method != "PUT")
            return httplib::Server::HandlerResponse::Unhandled;
        SimCloudReply refusal;
        if (!request.has_header("Content-Length"))
            refusal = SimCloudReply::error(411, QStringLiteral("A body needs a Content-Length"));
        else if (request.get_header_value<uint64_t>("Content-Length") > kMaxRequestBytes)
            refusal = SimCloudReply::error(
                413, QStringLiteral("Request body over %1 bytes").arg(kMaxRequestBytes));
        else
            return httplib::Server::HandlerResponse::Unhandled;
        writeReply(refusal, response);
        response.set_header("Connection", "close");
        return httplib::Server::HandlerResponse::Handled;
    });
    server.Get(SimCloudRoutes::healthPath,
               [this](const httplib::Request &, httplib::Response &response) {
                   if (offline.load()) {
                       writeReply(SimCloudReply::error(503, QStringLiteral("Cloud unreachable")),
                                  response);
                       return;
                   }
                   response.set_content("{\"status\":\"ok\"}", "application/json");
               });
    server.Get(SimCloudRoute{0, SimCloudRoute::Download, "GET", SimCloudRoutes::filePath}.pattern(),
               [this](const httplib::Request &request, httplib::Response &response) {
                   serveFile(request, response);
               });
    for (const SimCloudRoute &route : SimCloudRoutes::all()) {
        if (route.kind == SimCloudRoute::Download)
            continue;
        auto handler = [this, route](const httplib::Request &request, httplib::Response &response) {
            serve(route, request, response);
        };
        const std::string method = route.method;
        if (method == "GET")
            server.Get(route.pattern(), handler);
        else if (method == "POST")
            server.Post(route.pattern(), handler);
        else
            server.Put(route.pattern(), handler);
    }
}

int SimCloudServer::Private::countRequest(int routeId, const httplib::Request &request)
{
    int requestId = routeId;
    if (requestId == 0)
        requestId = text(request.get_header_value("x-request-id")).toInt();
    std::lock_guard<std::mutex> lock(mutex);
    ++requestCounts[requestId];
    return requestId;
}

void SimCloudServer::Private::serve(const SimCloudRoute &route, const httplib::Request &request,
                                    httplib::Response &response)
{
    const int requestId = countRequest(route.requestId, request);
    if (offline.load()) {
        writeReply(SimCloudReply::error(503, QStringLiteral("Cloud unreachable")), response);
        return;
    }
    if (applyScript(requestId, response))
        return;
    SimCloudCall call;
    call.requestId = requestId;
    const QStringList names = route.placeholders();
    for (int i = 0; i < names.size() && size_t(i + 1) < request.matches.size(); ++i)
        call.pathValues.insert(names.at(i), text(request.matches[size_t(i + 1)].str()));
    QString error;
    if (!readInput(route, request, &call, &error)) {
        writeReply(SimCloudReply::error(400, error), response);
        return;
    }
    writeReply(state.handle(call), response);
    const int step = offlineAtStep.load();
    if (step >= 0 && requestId == XrfNetworkManager::GetDeviceFactoryStatus
        && call.input.value(QStringLiteral("stepId")).toInt(-1) == step)
        offline.store(true);
}

void SimCloudServer::Private::serveFile(const httplib::Request &request,
                                        httplib::Response &response)
{
    const int requestId = countRequest(0, request);
    if (applyScript(requestId, response))
        return;
    writeReply(state.serveFile(text(request.matches[1].str())), response);
}

bool SimCloudServer::Private::applyScript(int requestId, httplib::Response &response)
{
    const auto entry = script.take(requestId);
    if (!entry)
        return false;
    switch (entry->action) {
    case SimCloudScript::Entry::Delay:
        waitUnlessStopping(entry->delayMs);
        return false;
    case SimCloudScript::Entry::Fail:
        writeReply(SimCloudReply::error(entry->httpStatus, entry->error), response);
        return true;
    case SimCloudScript::Entry::Malformed:
        response.set_content("{\"status\": \"ok\", \"data\": [1, 2", "application/json");
        return true;
    case SimCloudScript::Entry::Payload:
        writeReply(SimCloudReply::json(entry->payload, entry->httpStatus), response);
        return true;
    }
    return false;
}

void SimCloudServer::Private::waitUnlessStopping(int delayMs)
{
    std::unique_lock<std::mutex> lock(mutex);
    stopping.wait_for(lock, std::chrono::milliseconds(delayMs), [this] { return stopRequested; });
}

SimCloudServer::SimCloudServer() : d(new Private)
{
    // An answer goes out as its headers and then its body. With Nagle's algorithm the body waits
    // for the client's delayed acknowledgement of the headers: 40 ms on every request.
    d->server.set_tcp_nodelay(true);
    // Every connection holds a worker while it is read: idle or half-open connections let go of
    // theirs after the read timeout, and there are workers enough that a few dozen of them
    // leave /health and the instruments answered. Bodies beyond the limit are refused (413)
    // before they are read into memory.
    d->server.new_task_queue = [] {
        return new httplib::ThreadPool(kWorkerThreads);
    };
    d->server.set_read_timeout(kReadTimeoutSeconds);
    d->server.set_keep_alive_timeout(kReadTimeoutSeconds);
    d->server.set_payload_max_length(kMaxRequestBytes);
    d->registerRoutes();
    // The wrong-shot criteria of the calibration standards, from their certificates.
    d->state.setPackage(SimCloudPackage::CalibrationCheckCriteria,
                        QStringLiteral("wrongShotCriteria.json"),
                        QJsonDocument(SimReferenceMaterials::wrongShotCriteria()).toJson());
}

void SimCloudServer::setReadTimeoutSeconds(int seconds)
{
    d->server.set_read_timeout(seconds);
    d->server.set_keep_alive_timeout(seconds);
}

SimCloudServer::~SimCloudServer()
{
    stop();
}

bool SimCloudServer::start(quint16 port)
{
    if (d->thread.joinable())
        return true;
    d->port = port == 0 ? d->server.bind_to_any_port("127.0.0.1")
                        : (d->server.bind_to_port("127.0.0.1", port) ? port : -1);
    if (d->port <= 0)
        return false;
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->stopRequested = false;
    }
    d->state.setBaseUrl(baseUrl());
    d->thread = std::thread([this] { d->server.listen_after_bind(); });
    return true;
}

void SimCloudServer::stop()
{
    if (!d->thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->stopRequested = true;
    }
    d->stopping.notify_all();
    d->server.stop();
    d->thread.join();
}

quint16 SimCloudServer::port() const
{
    return quint16(d->port > 0 ? d->port : 0);
}

QString SimCloudServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port());
}

void SimCloudServer::setWorkOrder(const QString &serial, const QJsonObject &workOrder)
{
    d->state.setWorkOrder(serial, workOrder);
}

QJsonObject SimCloudServer::workOrder(const QString &serial) const
{
    return d->state.workOrder(serial);
}

void SimCloudServer::setFactoryDefaults(const QJsonObject &defaults)
{
    d->state.setFactoryDefaults(QString(), defaults);
}

void SimCloudServer::setFactoryDefaults(const QString &instrumentTypeCode,
                                        const QJsonObject &defaults)
{
    d->state.setFactoryDefaults(instrumentTypeCode, defaults);
}

void SimCloudServer::setPackage(SimCloudPackage package, const QString &fileName,
                                const QByteArray &content)
{
    d->state.setPackage(package, fileName, content);
}

QString SimCloudServer::publishFile(const QString &fileName, const QByteArray &content)
{
    return d->state.publishFile(fileName, content);
}

void SimCloudServer::setStabilityEvaluation(int pollsInProgress,
                                            const QJsonValue &testResultStatusId)
{
    d->state.setStabilityEvaluation(pollsInProgress, testResultStatusId);
}

void SimCloudServer::setStabilityLimits(const SimStabilityLimits &limits)
{
    d->state.setStabilityLimits(limits);
}

QList<SimStabilityEvaluation> SimCloudServer::stabilityEvaluations(const QString &serial) const
{
    return d->state.stabilityEvaluations(serial);
}

void SimCloudServer::goOfflineWhenStepEntered(int stepId)
{
    d->offlineAtStep.store(stepId);
}

void SimCloudServer::setOffline(bool offline)
{
    d->offline.store(offline);
}

void SimCloudServer::setCalibrationRunOutcome(int finalRunStatusId, int pollsBeforeFinal)
{
    d->state.setCalibrationRunOutcome(finalRunStatusId, pollsBeforeFinal);
}

void SimCloudServer::markWorkOrderChanged(const QString &serial)
{
    d->state.markWorkOrderChanged(serial);
}

void SimCloudServer::markFactorySetupChanged(const QString &serial)
{
    d->state.markFactorySetupChanged(serial);
}

void SimCloudServer::invalidateStep(const QString &serial, int stepId)
{
    d->state.invalidateStep(serial, stepId);
}

void SimCloudServer::scriptFailure(int requestId, int httpStatus, const QString &error, int times)
{
    SimCloudScript::Entry entry;
    entry.action = SimCloudScript::Entry::Fail;
    entry.httpStatus = httpStatus;
    entry.error = error;
    entry.remaining = times;
    d->script.add(requestId, entry);
}

void SimCloudServer::scriptMalformed(int requestId, int times)
{
    SimCloudScript::Entry entry;
    entry.action = SimCloudScript::Entry::Malformed;
    entry.remaining = times;
    d->script.add(requestId, entry);
}

void SimCloudServer::scriptDelay(int requestId, int delayMs, int times)
{
    SimCloudScript::Entry entry;
    entry.action = SimCloudScript::Entry::Delay;
    entry.delayMs = delayMs;
    entry.remaining = times;
    d->script.add(requestId, entry);
}

void SimCloudServer::scriptPayload(int requestId, const QJsonValue &payload, int times,
                                   int httpStatus)
{
    SimCloudScript::Entry entry;
    entry.action = SimCloudScript::Entry::Payload;
    entry.payload = payload;
    entry.httpStatus = httpStatus;
    entry.remaining = times;
    d->script.add(requestId, entry);
}

void SimCloudServer::clearScripts()
{
    d->script.clear();
}

QList<QJsonObject> SimCloudServer::receivedResults(const QString &serial, int requestId) const
{
    return d->state.receivedResults(serial, requestId);
}

QList<SimCloudFile> SimCloudServer::uploadedFiles(const QString &serial) const
{
    return d->state.uploadedFiles(serial);
}

QByteArray SimCloudServer::fileContent(const QString &fileId) const
{
    return d->state.fileContent(fileId);
}

QMap<int, int> SimCloudServer::stepStatuses(const QString &serial) const
{
    return d->state.stepStatuses(serial);
}

int SimCloudServer::requestCount(int requestId) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->requestCounts.value(requestId);
}
