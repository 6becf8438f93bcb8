// The lines of the single-instance channel: what a later start sends and the running copy answers reads
// back as it was meant, and whatever else a peer sends (nonsense, too much, a line that never ends) is
// refused whole.
#include "core/instancemessage.h"

#include <QtTest>
#include <string>

namespace {

std::string WithoutEnd(const std::string& line)
{
    return line.empty() || line.back() != '\n' ? line : line.substr(0, line.size() - 1);
}

} // namespace

class TestInstanceMessage : public QObject
{
    Q_OBJECT

private slots:
    void requestsReadBackAsSent();
    void repliesReadBackAsSent();
    void malformedRequestsAreRefused();
    void malformedRepliesAreRefused();
    void oversizedLinesAreRefused();
    void readerHandsOutWholeLinesAndStopsAFlood();
};

void TestInstanceMessage::requestsReadBackAsSent()
{
    TInstanceRequest activate;
    activate.ActivationToken = "wayland-token_1.2";
    activate.StartupId = "host;1234;0_TIME5678";
    std::string line = EncodeRequest(activate);
    QVERIFY(line.ends_with('\n'));
    QCOMPARE(std::count(line.begin(), line.end(), '\n'), 1);
    std::optional<TInstanceRequest> read = ParseRequest(WithoutEnd(line));
    QVERIFY(read);
    QVERIFY(read->Kind == TInstanceRequest::TKind::Activate);
    QCOMPARE(read->ActivationToken, activate.ActivationToken);
    QCOMPARE(read->StartupId, activate.StartupId);
    QVERIFY(read->ServerName.empty());

    // A name may hold anything a list entry can: spaces, '=', '%', line ends, other scripts, raw bytes.
    for (const std::string& name : {std::string("My server"), std::string("a=b%20c"), std::string("x\ny\r\tz"),
                                    std::string("Zlatý drak"), std::string("\xff\xfe", 2), std::string()}) {
        TInstanceRequest play;
        play.Kind = TInstanceRequest::TKind::Play;
        play.ServerName = name;
        line = EncodeRequest(play);
        QCOMPARE(std::count(line.begin(), line.end(), '\n'), 1);
        read = ParseRequest(WithoutEnd(line));
        QVERIFY(read);
        QVERIFY(read->Kind == TInstanceRequest::TKind::Play);
        QCOMPARE(read->ServerName, name);
        QVERIFY(read->ActivationToken.empty());
    }
}

void TestInstanceMessage::repliesReadBackAsSent()
{
    std::optional<TInstanceReply> read = ParseReply(WithoutEnd(EncodeReply({TInstanceReply::TKind::Accepted, 0, {}})));
    QVERIFY(read);
    QVERIFY(read->Kind == TInstanceReply::TKind::Accepted);

    const TInstanceReply done{
        TInstanceReply::TKind::Done, 1, {"Path to WoW execution file is not valid.", "Dva řádky\na"}};
    read = ParseReply(WithoutEnd(EncodeReply(done)));
    QVERIFY(read);
    QVERIFY(read->Kind == TInstanceReply::TKind::Done);
    QCOMPARE(read->Status, 1);
    QVERIFY(read->Messages == done.Messages);
    read = ParseReply(WithoutEnd(EncodeReply({TInstanceReply::TKind::Done, 0, {}})));
    QVERIFY(read && read->Status == 0 && read->Messages.empty());
}

void TestInstanceMessage::malformedRequestsAreRefused()
{
    for (const char* line : {
             "",
             "KORVAN1",
             "korvan1 activate",
             "KORVAN2 activate",
             "KORVAN1 quit",
             "KORVAN1 activate ",
             "KORVAN1  activate",
             "KORVAN1 play",
             "KORVAN1 play n=a n=b",
             "KORVAN1 activate n=a",
             "KORVAN1 play n=a x=1",
             "KORVAN1 play n=a%",
             "KORVAN1 play n=a%4",
             "KORVAN1 play n=a%zz",
             "KORVAN1 play n=a b",
             "KORVAN1 play n",
             "KORVAN1 play =a",
             "KORVAN1 activate t=a t=b",
             "KORVAN1 play n=a\r",
             "KORVAN1 play n=\x01",
             "KORVAN1 activate t=a%20b",
             "KORVAN1 activate s=%00",
         })
        QVERIFY2(!ParseRequest(line), line);
    QVERIFY(ParseRequest(std::string("KORVAN1 play n=a\0", 17)) == std::nullopt);
    // What the desktop hands out as a token is short.
    QVERIFY(!ParseRequest("KORVAN1 activate t=" + std::string(300, 'a')));
    QVERIFY(ParseRequest("KORVAN1 activate t=" + std::string(200, 'a')));
    // One the desktop got wrong is left out rather than spoiling the request.
    TInstanceRequest odd;
    odd.ActivationToken = "two words";
    odd.StartupId = std::string(300, 's');
    const std::optional<TInstanceRequest> read = ParseRequest(WithoutEnd(EncodeRequest(odd)));
    QVERIFY(read);
    QVERIFY(read->ActivationToken.empty() && read->StartupId.empty());
}

void TestInstanceMessage::malformedRepliesAreRefused()
{
    for (const char* line : {
             "",
             "KORVAN1 done",
             "KORVAN1 done -1",
             "KORVAN1 done 01",
             "KORVAN1 done 256",
             "KORVAN1 done 1x",
             "KORVAN1 done 99999999999",
             "KORVAN1 accepted 0",
             "KORVAN1 done 0 t=a",
             "KORVAN1 done 0 m=%",
             "KORVAN1 finished 0",
             "KORVAN1 done 0 m=a b",
         })
        QVERIFY2(!ParseReply(line), line);
    std::string many = "KORVAN1 done 1";
    for (int i = 0; i < 17; ++i)
        many += " m=x";
    QVERIFY(!ParseReply(many));
}

void TestInstanceMessage::oversizedLinesAreRefused()
{
    TInstanceRequest play;
    play.Kind = TInstanceRequest::TKind::Play;
    // Each of these bytes takes three in the line.
    play.ServerName.assign(kInstanceLineMax / 3, ' ');
    QVERIFY(EncodeRequest(play).empty());
    play.ServerName.assign(kInstanceLineMax / 4, ' ');
    QVERIFY(!EncodeRequest(play).empty());
    QVERIFY(EncodeRequest(play).size() <= kInstanceLineMax);
    QVERIFY(!ParseRequest("KORVAN1 play n=" + std::string(kInstanceLineMax, 'a')));

    // A reply that would not fit loses nothing silently: it is not made at all.
    const TInstanceReply long_{TInstanceReply::TKind::Done, 1, {std::string(kInstanceLineMax, 'x')}};
    QVERIFY(EncodeReply(long_).empty());
}

void TestInstanceMessage::readerHandsOutWholeLinesAndStopsAFlood()
{
    TInstanceLineReader reader;
    QVERIFY(reader.Feed("KORVAN1 acc"));
    QVERIFY(!reader.TakeLine());
    QVERIFY(reader.Feed("epted\nKORVAN1 done 0\nKOR"));
    QCOMPARE(reader.TakeLine().value_or("?"), std::string("KORVAN1 accepted"));
    QCOMPARE(reader.TakeLine().value_or("?"), std::string("KORVAN1 done 0"));
    QVERIFY(!reader.TakeLine());
    QVERIFY(!reader.Faulty());

    // A line that never ends is cut off once it cannot be a line any more.
    TInstanceLineReader endless;
    const std::string piece(1000, 'a');
    int fed = 0;
    while (endless.Feed(piece))
        ++fed;
    QVERIFY(endless.Faulty());
    QVERIFY(fed * piece.size() < kInstanceLineMax);
    QVERIFY(!endless.TakeLine());
    QVERIFY(!endless.Feed("\n"));

    // Many lines at once, none taken: no more is kept than two lines' worth.
    TInstanceLineReader flooded;
    const std::string lines(100, '\n');
    bool kept = true;
    for (int i = 0; i < 200 && kept; ++i)
        kept = flooded.Feed(lines);
    QVERIFY(!kept);
    QVERIFY(flooded.Faulty());
}

QTEST_GUILESS_MAIN(TestInstanceMessage)
#include "test_instancemessage.moc"
