// The signature on the update list: what minisign makes is taken, in both of its kinds, and nothing else
// is: another key, a changed list, a changed trusted comment, or a file that only looks like a signature.
#include "support/minisign.h"
#include "update/signature.h"

#include <QtTest>

class TestSignature : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void keyLines_data();
    void keyLines();
    void signaturesOfTheTool_data();
    void signaturesOfTheTool();
    void whatIsRefused_data();
    void whatIsRefused();

private:
    QTemporaryDir dir_;
    minisign::TKeyPair key_;
    minisign::TKeyPair otherKey_;
};

namespace {

const QByteArray kList = "; published\n2\n7\n0\n0\nkorvan\nhttps://h/korvan#sha256=" + QByteArray(64, 'a') + "\n";

bool Verify(const QByteArray& keyLine, const QByteArray& message, const QByteArray& signature)
{
    return VerifyMinisign(keyLine.toStdString(), message.toStdString(), signature.toStdString());
}

// The signature file with one of its four lines replaced.
QByteArray WithLine(const QByteArray& signature, int index, const QByteArray& line)
{
    QList<QByteArray> lines = signature.split('\n');
    lines[index] = line;
    return lines.join('\n');
}

// The signature line with the key id of `keyLine` in place of its own.
QByteArray WithKeyIdOf(const QByteArray& signature, const QByteArray& keyLine)
{
    QByteArray bytes = QByteArray::fromBase64(signature.split('\n').value(1));
    const QByteArray key = QByteArray::fromBase64(keyLine);
    bytes.replace(2, 8, key.mid(2, 8));
    return WithLine(signature, 1, bytes.toBase64());
}

} // namespace

void TestSignature::initTestCase()
{
    if (!minisign::Available())
        QSKIP("minisign is not installed");
    QVERIFY(dir_.isValid());
    QVERIFY(QDir(dir_.path()).mkpath("a") && QDir(dir_.path()).mkpath("b"));
    key_ = minisign::Generate(dir_.filePath("a"));
    otherKey_ = minisign::Generate(dir_.filePath("b"));
    QVERIFY(!key_.KeyLine.isEmpty() && !otherKey_.KeyLine.isEmpty());
}

void TestSignature::keyLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("valid");
    QTest::newRow("made by the tool") << key_.KeyLine << true;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("one character short") << key_.KeyLine.chopped(1) << false;
    QTest::newRow("one character more") << key_.KeyLine + "A" << false;
    QTest::newRow("blank after it") << key_.KeyLine + " " << false;
    QByteArray otherAlgorithm = QByteArray::fromBase64(key_.KeyLine);
    otherAlgorithm[1] = 'D';
    QTest::newRow("another algorithm") << otherAlgorithm.toBase64() << false;
    QTest::newRow("the comment line") << QByteArray("untrusted comment: minisign public key 0011") << false;
}

void TestSignature::keyLines()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, valid);
    QCOMPARE(ParseMinisignKey(line.toStdString()).has_value(), valid);
}

void TestSignature::signaturesOfTheTool_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("comment");
    QTest::newRow("prehashed") << int(minisign::TKind::Prehashed) << QString();
    QTest::newRow("legacy") << int(minisign::TKind::Legacy) << QString();
    QTest::newRow("own trusted comment") << int(minisign::TKind::Prehashed) << QString("korvan 2.07.0 for en");
}

void TestSignature::signaturesOfTheTool()
{
    QFETCH(int, kind);
    QFETCH(QString, comment);
    const QByteArray signature =
        minisign::Sign(key_.SecretKeyFile, kList, dir_.path(), static_cast<minisign::TKind>(kind), comment);
    QVERIFY(!signature.isEmpty());
    QVERIFY(Verify(key_.KeyLine, kList, signature));
    // Published from a Windows machine, the lines may end in CR LF.
    QVERIFY(Verify(key_.KeyLine, kList, QByteArray(signature).replace("\n", "\r\n")));
    QVERIFY(!Verify(otherKey_.KeyLine, kList, signature));
    QVERIFY(!Verify(key_.KeyLine, kList + " ", signature));
    QVERIFY(!Verify(key_.KeyLine, kList.left(kList.size() - 1), signature));
    QVERIFY(!Verify(QByteArray(), kList, signature));
}

void TestSignature::whatIsRefused_data()
{
    QTest::addColumn<QByteArray>("signature");
    const QByteArray good = minisign::Sign(key_.SecretKeyFile, kList, dir_.path());
    const QByteArray byOther = minisign::Sign(otherKey_.SecretKeyFile, kList, dir_.path());
    QVERIFY(!good.isEmpty() && !byOther.isEmpty());
    const QList<QByteArray> lines = good.split('\n');

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("another key") << byOther;
    QTest::newRow("another key under our key id") << WithKeyIdOf(byOther, key_.KeyLine);
    QTest::newRow("trusted comment changed") << WithLine(good, 2, lines[2] + "x");
    QTest::newRow("trusted comment of another signature") << WithLine(good, 2, byOther.split('\n')[2] + " ");
    QTest::newRow("global signature missing") << WithLine(good, 3, QByteArray());
    QTest::newRow("global signature of another") << WithLine(good, 3, byOther.split('\n')[3]);
    QTest::newRow("no untrusted comment") << WithLine(good, 0, "comment: x");
    QTest::newRow("no trusted comment prefix") << WithLine(good, 2, "timestamp:1");
    QTest::newRow("signature line not base64") << WithLine(good, 1, "!!" + lines[1].mid(2));
    QTest::newRow("signature line short") << WithLine(good, 1, lines[1].left(lines[1].size() - 4));
    QTest::newRow("signature line with a blank") << WithLine(good, 1, lines[1] + " ");
    QTest::newRow("three lines") << lines.mid(0, 3).join('\n');
    QTest::newRow("a fifth line") << good + "more\n";
    QByteArray unknownKind = QByteArray::fromBase64(lines[1]);
    unknownKind[1] = 'X';
    QTest::newRow("unknown kind") << WithLine(good, 1, unknownKind.toBase64());
    QByteArray kindSwapped = QByteArray::fromBase64(lines[1]);
    kindSwapped[1] = 'd';
    QTest::newRow("prehashed read as plain") << WithLine(good, 1, kindSwapped.toBase64());
    QTest::newRow("huge") << good + QByteArray(int(kMaxSignatureFileBytes), '\n');
}

void TestSignature::whatIsRefused()
{
    QFETCH(QByteArray, signature);
    QVERIFY(!Verify(key_.KeyLine, kList, signature));
}

QTEST_APPLESS_MAIN(TestSignature)
#include "test_signature.moc"
