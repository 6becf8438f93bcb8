// The fuzzers' kept corpora, run through the parsers on every test run: what once found a new path must
// keep working, and the seeds the publisher's tool signed must keep verifying.
#include "fuzz/fuzzkey.h"
#include "update/signature.h"
#include "update/updatelist.h"

#include <QDir>
#include <QtTest>

class TestFuzzCorpus : public QObject
{
    Q_OBJECT

private slots:
    void updateLists();
    void signatures();
};

namespace {

QList<QPair<QString, QByteArray>> Corpus(const QString& name)
{
    QList<QPair<QString, QByteArray>> files;
    const QDir dir(QStringLiteral(KORVAN_FUZZ_CORPUS) + "/" + name);
    for (const QString& entry : dir.entryList(QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(entry));
        if (file.open(QIODevice::ReadOnly))
            files.append({entry, file.readAll()});
    }
    return files;
}

} // namespace

void TestFuzzCorpus::updateLists()
{
    const auto corpus = Corpus("updatelist");
    QVERIFY(corpus.size() > 3);
    for (const auto& [name, bytes] : corpus) {
        std::vector<std::string> lines;
        for (const QByteArray& line : bytes.split('\n'))
            lines.push_back(line.toStdString());
        const auto info = ParseUpdateList(lines);
        if (info)
            QVERIFY2(VersionFromAnswer("Korvan II " + VersionText(info->Version)).has_value(), qPrintable(name));
    }
}

void TestFuzzCorpus::signatures()
{
    const auto corpus = Corpus("signature");
    int seeds = 0;
    for (const auto& [name, bytes] : corpus) {
        const qsizetype split = bytes.indexOf('\0');
        const std::string signature = bytes.left(split).toStdString();
        const std::string message = split < 0 ? std::string() : bytes.mid(split + 1).toStdString();
        const bool valid = VerifyMinisign(kFuzzSeedKeyLine, message, signature);
        if (name.startsWith("seed")) {
            QVERIFY2(valid, qPrintable(name));
            ++seeds;
        }
    }
    QCOMPARE(seeds, 6);
}

QTEST_APPLESS_MAIN(TestFuzzCorpus)
#include "test_fuzzcorpus.moc"
