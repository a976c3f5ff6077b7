#pragma once

#include <QMetaType>
#include <QString>
#include <QStringList>

// A dotted firmware or software version ("2.14.3").
class XrfVersion
{
public:
    XrfVersion() = default;
    XrfVersion(int major, int minor, int patch = 0) : m_major(major), m_minor(minor), m_patch(patch)
    { }
    static XrfVersion fromString(const QString &text, bool *ok = nullptr)
    {
        const QStringList parts = text.trimmed().split(QLatin1Char('.'));
        int numbers[3] = {0, 0, 0};
        bool valid = !parts.isEmpty() && parts.size() <= 3;
        for (int i = 0; valid && i < parts.size(); ++i)
            numbers[i] = parts.at(i).toInt(&valid);
        if (ok)
            *ok = valid;
        return valid ? XrfVersion(numbers[0], numbers[1], numbers[2]) : XrfVersion();
    }

    int major() const { return m_major; }
    int minor() const { return m_minor; }
    int patch() const { return m_patch; }
    bool isNull() const { return m_major == 0 && m_minor == 0 && m_patch == 0; }
    QString toString() const
    {
        return QStringLiteral("%1.%2.%3").arg(m_major).arg(m_minor).arg(m_patch);
    }

    friend bool operator<(const XrfVersion &a, const XrfVersion &b)
    {
        if (a.m_major != b.m_major)
            return a.m_major < b.m_major;
        if (a.m_minor != b.m_minor)
            return a.m_minor < b.m_minor;
        return a.m_patch < b.m_patch;
    }
    friend bool operator==(const XrfVersion &a, const XrfVersion &b)
    {
        return !(a < b) && !(b < a);
    }

private:
    int m_major = 0;
    int m_minor = 0;
    int m_patch = 0;
};

Q_DECLARE_METATYPE(XrfVersion)
