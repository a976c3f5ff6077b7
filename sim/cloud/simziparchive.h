#pragma once

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipnewinfo.h>

#include <QBuffer>
#include <QByteArray>
#include <QString>

// A zip archive built in memory entry by entry, as the cloud's packages are published. `mode` is
// the entry's Unix mode (a link: S_IFLNK | 0777 with the target as content).
class SimZipArchive
{
public:
    SimZipArchive() : m_buffer(&m_bytes), m_zip(&m_buffer) { m_zip.open(QuaZip::mdCreate); }

    void add(const QString &name, const QByteArray &content, quint32 mode = 0100644)
    {
        QuaZipNewInfo info(name);
        info.externalAttr = mode << 16;
        QuaZipFile file(&m_zip);
        file.open(QIODevice::WriteOnly, info);
        file.write(content);
        file.close();
    }
    QByteArray finish()
    {
        m_zip.close();
        return m_bytes;
    }

private:
    QByteArray m_bytes;
    QBuffer m_buffer;
    QuaZip m_zip;
};
