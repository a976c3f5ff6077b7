// Archives and folder copies of the common library: whole, readable by unzip, and never through
// a link.

#include "archivetools.h"
#include "xrfutils.h"

#include <QtTest>

class TstArchive : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void archivePassesUnzipAndLeavesLinksOut();
    void archiveOptions();
    void failedArchiveKeepsTheOldOne();
    void copyLeavesLinksOut();
    void namesFromOutsideBecomeSafeBaseNames_data();
    void namesFromOutsideBecomeSafeBaseNames();

private:
    void write(const QString &relativePath, const QByteArray &content);
    QString tree() const { return m_dir->path() + "/tree"; }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TstArchive::write(const QString &relativePath, const QByteArray &content)
{
    const QString path = m_dir->path() + "/" + relativePath;
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

// A folder with a hidden file, a subfolder, and links to a file and a folder outside it.
void TstArchive::init()
{
    m_dir.reset(new QTemporaryDir);
    write("tree/a.txt", "a");
    write("tree/.hidden", "h");
    write("tree/sub/b.txt", "b");
    write("outside/secret.txt", "secret");
    QVERIFY(QFile::link(m_dir->path() + "/outside/secret.txt", tree() + "/secret-link.txt"));
    QVERIFY(QFile::link(m_dir->path() + "/outside", tree() + "/outside-link"));
}

void TstArchive::archivePassesUnzipAndLeavesLinksOut()
{
    const QString archive = m_dir->path() + "/out/tree.zip";
    QString error;
    QVERIFY2(XrfUtils::zip(tree(), "tree.zip", m_dir->path() + "/out", true, true, false, QString(),
                           &error),
             qPrintable(error));
    QString output;
    QVERIFY2(ArchiveTools::passesUnzipTest(archive, &output), qPrintable(output));
    QStringList entries = ArchiveTools::entries(archive);
    entries.sort();
    QCOMPARE(entries, QStringList({".hidden", "a.txt", "sub/", "sub/b.txt"}));
    QVERIFY(!QFile::exists(archive + ".part"));
}

void TstArchive::archiveOptions()
{
    const QString archive = m_dir->path() + "/tree.zip";
    QVERIFY(XrfUtils::zip(tree(), "tree.zip", m_dir->path(), false, true, true, QString()));
    QVERIFY(ArchiveTools::passesUnzipTest(archive));
    QStringList entries = ArchiveTools::entries(archive);
    entries.sort();
    QCOMPARE(entries, QStringList({"tree/.hidden", "tree/a.txt"}));
}

void TstArchive::failedArchiveKeepsTheOldOne()
{
    const QString archive = m_dir->path() + "/tree.zip";
    QVERIFY(XrfUtils::zip(tree(), "tree.zip", m_dir->path(), true, true, false, QString()));
    QFile old(archive);
    QVERIFY(old.open(QIODevice::ReadOnly));
    const QByteArray content = old.readAll();
    old.close();
    QString error;
    QVERIFY(!XrfUtils::zip(m_dir->path() + "/missing", "tree.zip", m_dir->path(), true, true, false,
                           QString(), &error));
    QVERIFY(error.contains("does not exist"));
    QVERIFY(!XrfUtils::zip(tree(), "inside.zip", tree(), true, true, false, QString(), &error));
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), content);
}

void TstArchive::copyLeavesLinksOut()
{
    const QString copy = m_dir->path() + "/copy";
    QString error;
    QVERIFY2(XrfUtils::copyDirectory(tree(), copy, &error), qPrintable(error));
    QVERIFY(QFileInfo(copy + "/sub/b.txt").isFile());
    QVERIFY(QFileInfo(copy + "/.hidden").isFile());
    QVERIFY(!QFileInfo::exists(copy + "/secret-link.txt"));
    QVERIFY(!QFileInfo::exists(copy + "/outside-link"));
}

void TstArchive::namesFromOutsideBecomeSafeBaseNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("safe");
    QTest::newRow("plain") << "final-1.2_x"
                           << "final-1.2_x";
    QTest::newRow("climbing path") << "../../etc/passwd"
                                   << "passwd";
    QTest::newRow("windows path") << "C:\\backups\\unit 7.zip"
                                  << "unit_7.zip";
    QTest::newRow("odd characters") << "a b:c*?"
                                    << "a_b_c__";
    QTest::newRow("parent only") << ".."
                                 << "";
    QTest::newRow("trailing slash") << "folder/"
                                    << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TstArchive::namesFromOutsideBecomeSafeBaseNames()
{
    QFETCH(QString, name);
    QFETCH(QString, safe);
    QCOMPARE(XrfUtils::safeFileName(name), safe);
}

QTEST_GUILESS_MAIN(TstArchive)
#include "tst_archive.moc"
