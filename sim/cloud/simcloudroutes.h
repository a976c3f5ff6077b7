#pragma once

#include <QString>
#include <QStringList>

// Where each cloud request id goes: one table shared by the HTTP client and the cloud simulator,
// so both sides always agree on verbs and paths.
//
// Paths hold named placeholders in braces ("{serial}"); the client fills them from the request
// body, the server matches them as path segments.
struct SimCloudRoute
{
    enum Kind { Fetch, Send, Upload, Download };

    int requestId = 0;
    Kind kind = Fetch;
    const char *method = "GET";
    const char *path = "";
    // Uploads as one raw body (PUT) instead of a multipart form; what command lines use.
    bool rawUpload = false;

    bool isValid() const { return requestId != 0; }
    // Placeholder names in the order they appear in the path.
    QStringList placeholders() const;
    // The path with the placeholders numbered %1, %2, ... in order, for command lines.
    QString numberedTemplate() const;
    // The path as a regular expression with one capture group per placeholder.
    std::string pattern() const;
};

namespace SimCloudRoutes {
// The route of a request id; an invalid route for an unknown id.
SimCloudRoute route(int requestId);
const QList<SimCloudRoute> &all();
// Where stored files are served; its placeholder is "{fileId}".
constexpr const char *filePath = "/api/v1/files/{fileId}";
constexpr const char *healthPath = "/health";
} // namespace SimCloudRoutes
