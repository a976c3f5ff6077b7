#pragma once

#include <QDateTime>
#include <QString>

// The results database that the instrument's application keeps
// (XrfResultManager::databasePath()): the tests a simulated instrument ran before it reached the
// end of the factory line, so that a diagnostic package has results to export.
namespace SimResults {

// Adds `perDay` tests on each of the `days` days up to `now` (now included), spread over the
// working hours; false with the message when the database cannot be written.
bool seed(const QDateTime &now, int days, int perDay, QString *errorMsg);

} // namespace SimResults
