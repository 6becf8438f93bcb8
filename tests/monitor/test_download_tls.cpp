// Redirects that leave https: a download that asks for it refuses a redirect from an https address to a
// plain http one, while https to https still works. The https server is a small one on loopback with a
// certificate made for the test and trusted by this process only.
#include "monitor/download.h"
#include "support/httpserver.h"

#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QtTest>

namespace {

constexpr int kWaitMs = 20000;
constexpr int kOpensslMs = 60000;

// Answers GET /to-http with a redirect to `httpTarget`, GET /to-https with one to its own /ok, and /ok with
// a body.
class TTlsServer : public QObject
{
public:
    bool Listen(const QString& certificate, const QString& key)
    {
        QFile certFile(certificate), keyFile(key);
        if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly))
            return false;
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.setLocalCertificate(QSslCertificate(certFile.readAll(), QSsl::Pem));
        config.setPrivateKey(QSslKey(keyFile.readAll(), QSsl::Rsa, QSsl::Pem));
        config.setPeerVerifyMode(QSslSocket::VerifyNone);
        server_.setSslConfiguration(config);
        connect(&server_, &QTcpServer::pendingConnectionAvailable, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Answer(socket); });
        });
        return server_.listen(QHostAddress::LocalHost);
    }
    QString Url(const QString& path) const
    {
        return QStringLiteral("https://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path);
    }
    QString HttpTarget;

private:
    void Answer(QTcpSocket* socket)
    {
        const QByteArray request = socket->readAll();
        const QByteArray path = request.split(' ').value(1);
        QByteArray answer;
        if (path == "/ok") {
            answer = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
        } else {
            const QString target = path == "/to-http" ? HttpTarget : Url("/ok");
            answer = "HTTP/1.1 302 Found\r\nLocation: " + target.toUtf8() +
                     "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        }
        socket->write(answer);
        socket->disconnectFromHost();
    }

    QSslServer server_;
};

} // namespace

class TestDownloadTls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void redirectsLeavingHttps_data();
    void redirectsLeavingHttps();

private:
    QTemporaryDir dir_;
    TTlsServer tls_;
    TLoopbackHttpServer http_;
};

void TestDownloadTls::initTestCase()
{
    if (!QSslSocket::supportsSsl())
        QSKIP("no TLS backend");
    const QString cert = dir_.filePath("cert.pem");
    const QString key = dir_.filePath("key.pem");
    QProcess openssl;
    openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1",
                              "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert});
    if (!openssl.waitForFinished(kOpensslMs) || openssl.exitCode() != 0)
        QSKIP("openssl could not make a certificate");
    QFile certFile(cert);
    QVERIFY(certFile.open(QIODevice::ReadOnly));
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.addCaCertificate(QSslCertificate(certFile.readAll(), QSsl::Pem));
    QSslConfiguration::setDefaultConfiguration(config);
    QVERIFY(tls_.Listen(cert, key));
    QVERIFY(http_.Listen());
    http_.Serve("/plain", "plain", "text/plain");
    tls_.HttpTarget = http_.Url("/plain");
}

void TestDownloadTls::redirectsLeavingHttps_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("refuse");
    QTest::addColumn<QByteArray>("body"); // empty: the download fails
    QTest::newRow("https to https, refusing") << "/to-https" << true << QByteArray("ok");
    QTest::newRow("https to http, refusing") << "/to-http" << true << QByteArray();
    QTest::newRow("https to http, allowed") << "/to-http" << false << QByteArray("plain");
}

void TestDownloadTls::redirectsLeavingHttps()
{
    QFETCH(QString, path);
    QFETCH(bool, refuse);
    QFETCH(QByteArray, body);
    TDownloadLimits limits;
    limits.RefuseHttpsToHttp = refuse;
    const int plainHits = http_.Hits("/plain");
    QObject context;
    bool done = false;
    bool succeeded = false;
    QByteArray got;
    DownloadToBytes(
        tls_.Url(path), &context,
        [&](bool ok, const QByteArray& bytes) {
            succeeded = ok;
            got = bytes;
            done = true;
        },
        limits);
    QVERIFY(QTest::qWaitFor([&] { return done; }, kWaitMs));
    QCOMPARE(succeeded, !body.isEmpty());
    QCOMPARE(got, body);
    if (refuse)
        QCOMPARE(http_.Hits("/plain"), plainHits);
}

QTEST_MAIN(TestDownloadTls)
#include "test_download_tls.moc"
