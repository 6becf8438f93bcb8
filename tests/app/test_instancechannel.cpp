// The single-instance channel between a later start and the running copy, over real sockets: a request
// handed over gets the running copy's answer; a peer that says nothing, sends nonsense or too much, or is
// another user, is dropped without an answer while the loop goes on; requests are answered one at a time.
#include "app/instancechannel.h"
#include "core/globaltypes_u.h"
#include "platform/instance.h"
#include "support/testsupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kDeadlineMs = 300;
constexpr int kWaitMs = 10000;

// What a peer gets before the running copy hangs up on it: the bytes, or nothing for no answer in time.
std::optional<std::string> AnswerTo(int socket, int timeoutMs)
{
    std::string all;
    while (platform::WaitReadable(socket, timeoutMs)) {
        std::optional<std::string> bytes = platform::ReceiveNow(socket, 4096);
        if (!bytes)
            continue;
        if (bytes->empty())
            return all;
        all += *bytes;
    }
    return std::nullopt;
}

// Runs `body` on a thread of its own while the test's loop turns, as a later start runs beside the window.
class TLaterStart
{
public:
    explicit TLaterStart(std::function<void()> body)
        : thread_([this, body = std::move(body)] {
              body();
              done_ = true;
          })
    {
    }
    ~TLaterStart() { thread_.join(); }
    bool Done() const { return done_; }

private:
    std::atomic<bool> done_ = false;
    std::thread thread_;
};

std::string ReadAll(std::FILE* file)
{
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;)
        text += static_cast<char>(c);
    return text;
}

} // namespace

class TestInstanceChannel : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void handedOverRequestsGetTheRunningCopysAnswer();
    void silentMalformedOrOversizedPeersAreDropped();
    void requestsAreAnsweredOneAtATime();
    void anotherUserIsRefused();
    void noRunningCopyTakesNothing();

private:
    std::unique_ptr<platform::InstanceLock> lock_;
    std::unique_ptr<TInstanceChannel> channel_;
};

void TestInstanceChannel::init()
{
    lock_ = std::make_unique<platform::InstanceLock>();
    QVERIFY(lock_->Acquire(kSingleInstanceName) == platform::InstanceLock::Result::Acquired);
    QVERIFY(lock_->Channel() >= 0);
    channel_ = std::make_unique<TInstanceChannel>(lock_->Channel(), kDeadlineMs);
}

void TestInstanceChannel::cleanup()
{
    channel_.reset();
    lock_.reset();
}

void TestInstanceChannel::handedOverRequestsGetTheRunningCopysAnswer()
{
    QSignalSpy received(channel_.get(), &TInstanceChannel::requestReceived);
    std::FILE* err = std::tmpfile();
    QVERIFY(err);
    std::optional<int> status;
    {
        TInstanceRequest play;
        play.Kind = TInstanceRequest::TKind::Play;
        play.ServerName = "My server";
        play.ActivationToken = "token-1";
        TLaterStart later([&] { status = HandOverToRunningCopy(play, err).Status; });
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, kWaitMs);
        const auto peer = received.at(0).at(0).value<std::uint64_t>();
        const auto request = received.at(0).at(1).value<TInstanceRequest>();
        QVERIFY(request.Kind == TInstanceRequest::TKind::Play);
        QCOMPARE(request.ServerName, std::string("My server"));
        QCOMPARE(request.ActivationToken, std::string("token-1"));
        // Taken: the later start now waits for as long as the play takes, past any deadline.
        channel_->Reply(peer, {TInstanceReply::TKind::Accepted, 0, {}});
        QTest::qWait(kDeadlineMs * 2);
        QVERIFY(!later.Done());
        channel_->Reply(peer, {TInstanceReply::TKind::Done, 3, {"The game was not started.", "second"}});
        QTRY_VERIFY_WITH_TIMEOUT(later.Done(), kWaitMs);
    }
    QCOMPARE(status.value_or(-1), 3);
    QCOMPARE(ReadAll(err), std::string("The game was not started.\nsecond\n"));
    std::fclose(err);

    TInstanceRequest activate;
    TLaterStart later([&] { status = HandOverToRunningCopy(activate, stderr).Status; });
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), 2, kWaitMs);
    QVERIFY(received.at(1).at(1).value<TInstanceRequest>().Kind == TInstanceRequest::TKind::Activate);
    channel_->Reply(received.at(1).at(0).value<std::uint64_t>(), {TInstanceReply::TKind::Done, 0, {}});
    QTRY_VERIFY_WITH_TIMEOUT(later.Done(), kWaitMs);
    QCOMPARE(status.value_or(-1), 0);
}

void TestInstanceChannel::silentMalformedOrOversizedPeersAreDropped()
{
    QSignalSpy received(channel_.get(), &TInstanceChannel::requestReceived);
    const int silent = platform::ConnectToHolder(kSingleInstanceName);
    const int nonsense = platform::ConnectToHolder(kSingleInstanceName);
    const int flood = platform::ConnectToHolder(kSingleInstanceName);
    const int half = platform::ConnectToHolder(kSingleInstanceName);
    QVERIFY(silent >= 0 && nonsense >= 0 && flood >= 0 && half >= 0);
    QVERIFY(platform::SendAll(nonsense, "KORVAN1 quit now\n", kWaitMs));
    // No line end ever comes; the running copy stops reading long before this is all sent.
    (void)platform::SendAll(flood, std::string(64 * 1024, 'a'), 1000);
    QVERIFY(platform::SendAll(half, "KORVAN1 activ", kWaitMs));

    std::optional<std::string> answers[4];
    TLaterStart later([&] {
        int i = 0;
        for (int socket : {silent, nonsense, flood, half})
            answers[i++] = AnswerTo(socket, kWaitMs);
    });
    // Meanwhile the window's loop turns and takes a good request.
    const int good = platform::ConnectToHolder(kSingleInstanceName);
    QVERIFY(platform::SendAll(good, EncodeRequest({}), kWaitMs));
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, kWaitMs);
    channel_->Reply(received.at(0).at(0).value<std::uint64_t>(), {TInstanceReply::TKind::Done, 0, {}});
    QCOMPARE(AnswerTo(good, kWaitMs).value_or("?"), EncodeReply({TInstanceReply::TKind::Done, 0, {}}));
    QTRY_VERIFY_WITH_TIMEOUT(later.Done(), kWaitMs);
    // Each was hung up on, none was answered.
    for (const auto& answer : answers)
        QCOMPARE(answer.value_or("no end"), std::string());
    QCOMPARE(received.size(), 1);
    for (int socket : {silent, nonsense, flood, half, good})
        platform::CloseChannelSocket(socket);
}

void TestInstanceChannel::requestsAreAnsweredOneAtATime()
{
    QSignalSpy received(channel_.get(), &TInstanceChannel::requestReceived);
    TInstanceRequest play;
    play.Kind = TInstanceRequest::TKind::Play;
    play.ServerName = "first";
    const int first = platform::ConnectToHolder(kSingleInstanceName);
    QVERIFY(platform::SendAll(first, EncodeRequest(play), kWaitMs));
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, kWaitMs);
    play.ServerName = "second";
    const int second = platform::ConnectToHolder(kSingleInstanceName);
    QVERIFY(platform::SendAll(second, EncodeRequest(play), kWaitMs));
    // Waiting its turn is no silence: the second is kept past the deadline for sending.
    QTest::qWait(kDeadlineMs * 2);
    QCOMPARE(received.size(), 1);
    channel_->Reply(received.at(0).at(0).value<std::uint64_t>(), {TInstanceReply::TKind::Done, 0, {}});
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), 2, kWaitMs);
    QCOMPARE(received.at(1).at(1).value<TInstanceRequest>().ServerName, std::string("second"));

    // A peer that went away meanwhile lets the next one in as well.
    const int third = platform::ConnectToHolder(kSingleInstanceName);
    QVERIFY(platform::SendAll(third, EncodeRequest({}), kWaitMs));
    QTest::qWait(100);
    QCOMPARE(received.size(), 2);
    platform::CloseChannelSocket(second);
    channel_->Reply(received.at(1).at(0).value<std::uint64_t>(), {TInstanceReply::TKind::Done, 0, {}});
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), 3, kWaitMs);
    platform::CloseChannelSocket(first);
    platform::CloseChannelSocket(third);
}

void TestInstanceChannel::anotherUserIsRefused()
{
    if (::geteuid() != 0)
        QSKIP("needs root to act as another user");
    // The lock's own folder keeps other users out altogether; a socket they may reach shows the check
    // behind it.
    QTemporaryDir dir;
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0777) == 0);
    const std::string path = QFile::encodeName(dir.filePath("open.socket")).toStdString();
    const int listening = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    QVERIFY(::bind(listening, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0);
    QVERIFY(::chmod(path.c_str(), 0777) == 0);
    QVERIFY(::listen(listening, 4) == 0);
    TInstanceChannel open(listening, kDeadlineMs);
    QSignalSpy received(&open, &TInstanceChannel::requestReceived);

    std::atomic<int> outcome = -2;
    TLaterStart later([&] {
        outcome = RunInChild(
            [&] {
                const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
                if (::connect(socket, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0)
                    return 2;
                if (!platform::SendAll(socket, EncodeRequest({}), 5000))
                    return 3;
                std::optional<std::string> answer = AnswerTo(socket, 5000);
                return answer && answer->empty() ? 0 : 1;
            },
            true);
    });
    QTRY_VERIFY_WITH_TIMEOUT(later.Done(), kWaitMs * 2);
    QCOMPARE(outcome.load(), 0);
    QCOMPARE(received.size(), 0);
    ::close(listening);
}

void TestInstanceChannel::noRunningCopyTakesNothing()
{
    channel_.reset();
    lock_.reset();
    const THandOverOutcome outcome = HandOverToRunningCopy({}, stderr);
    QVERIFY(!outcome.Status);
    QVERIFY(!outcome.Silent);
}

QTEST_GUILESS_MAIN(TestInstanceChannel)
#include "test_instancechannel.moc"
