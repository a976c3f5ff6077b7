#pragma once

#include <QJsonArray>
#include <QMetaType>
#include <QRegularExpression>
#include <QString>

// An error as the middleware reports it: a code (0 means no error) and its texts.
class XrfErrorInfo
{
    Q_GADGET
public:
    enum XrfError : int {
        NoError = 0,
        GeneralError = 1,
    };
    Q_ENUM(XrfError)

    XrfErrorInfo() = default;
    XrfErrorInfo(int code, const QString &text, const QString &extended = QString())
        : m_code(code), m_text(text), m_extended(extended)
    { }

    int errorCode() const { return m_code; }
    QString errorString() const { return m_text; }
    QString extendedErrorInfo() const { return m_extended; }
    bool hasError() const { return m_code != NoError; }
    // The extended information's items (separated by commas or new lines) as an array of
    // texts; empty when there is no error.
    QJsonArray extendedErrorInfoAsJsonArray() const
    {
        QJsonArray items;
        if (!hasError())
            return items;
        static const QRegularExpression separators(QStringLiteral("[,\\n]"));
        for (const QString &item : m_extended.split(separators, Qt::SkipEmptyParts)) {
            if (!item.trimmed().isEmpty())
                items.append(item.trimmed());
        }
        return items;
    }

private:
    int m_code = NoError;
    QString m_text;
    QString m_extended;
};

Q_DECLARE_METATYPE(XrfErrorInfo)
