// A stand-in for libFuzzer's driver where the build has none (gcc, the sanitizer builds): runs
// every file of the corpus folders given, then mutations of them (bit flips, byte changes,
// insertions, deletions, splices, truncations) for a few seconds with a fixed seed. A smoke test of
// the fuzz targets on every build; `make fuzz` runs the real fuzzer.
//
//   fuzz_x [-seconds=N] [-seed=S] CORPUS_DIR_OR_FILE...

#include "fuzzinput.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cstdio>

namespace {

int run(const QByteArray &input)
{
    return LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.constData()),
                                  size_t(input.size()));
}

QByteArray mutated(QByteArray input, const QList<QByteArray> &corpus, QRandomGenerator &random)
{
    static const char *const tokens[] = {"{",     "}",    "[",    "]",      "\"",    ":",
                                         ",",     "null", "true", "-1",     "1e308", "4294967296",
                                         "\"4\"", ".",    "..",   "\\u0000"};
    const int edits = 1 + int(random.bounded(4));
    for (int i = 0; i < edits; ++i) {
        const int at = input.isEmpty() ? 0 : int(random.bounded(input.size()));
        switch (random.bounded(6)) {
        case 0:
            if (!input.isEmpty())
                input[at] = char(input.at(at) ^ (1 << random.bounded(8)));
            break;
        case 1:
            if (!input.isEmpty())
                input[at] = char(random.bounded(256));
            break;
        case 2:
            input.insert(at, tokens[random.bounded(int(sizeof tokens / sizeof *tokens))]);
            break;
        case 3:
            input.remove(at, 1 + int(random.bounded(8)));
            break;
        case 4: {
            const QByteArray &other = corpus.at(int(random.bounded(corpus.size())));
            const int from = other.isEmpty() ? 0 : int(random.bounded(other.size()));
            input.insert(at, other.mid(from, 1 + int(random.bounded(64))));
            break;
        }
        default:
            input.truncate(at);
            break;
        }
    }
    return input;
}

} // namespace

int main(int argc, char *argv[])
{
    double seconds = 0;
    quint32 seed = 20261207;
    QList<QByteArray> corpus;
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (argument.startsWith(QLatin1String("-seconds="))) {
            seconds = argument.mid(9).toDouble();
            continue;
        }
        if (argument.startsWith(QLatin1String("-seed="))) {
            seed = argument.mid(6).toUInt();
            continue;
        }
        QDirIterator it(argument, QDir::Files, QDirIterator::Subdirectories);
        const QStringList paths =
            QFileInfo(argument).isFile() ? QStringList{argument} : QStringList();
        for (const QString &path : paths) {
            QFile file(path);
            if (file.open(QIODevice::ReadOnly))
                corpus << file.readAll();
        }
        while (it.hasNext()) {
            QFile file(it.next());
            if (file.open(QIODevice::ReadOnly))
                corpus << file.readAll();
        }
    }
    if (corpus.isEmpty())
        corpus << QByteArray("{}");
    qint64 runs = 0;
    for (const QByteArray &input : qAsConst(corpus)) {
        run(input);
        ++runs;
    }
    QRandomGenerator random(seed);
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < qint64(seconds * 1000)) {
        run(mutated(corpus.at(int(random.bounded(corpus.size()))), corpus, random));
        ++runs;
    }
    std::printf("%s: %lld inputs (%d from the corpus) in %.1f s, no crash\n",
                QFileInfo(QString::fromLocal8Bit(argv[0])).fileName().toLocal8Bit().constData(),
                runs, int(corpus.size()), double(elapsed.elapsed()) / 1000);
    return 0;
}
