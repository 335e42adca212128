#include "SeatFolder.h"
#include "SharedFolderFaults.h"

#include "student/SignIn.h"

#include <QTest>

using namespace Qt::StringLiterals;
using student::SignInResult;

// The everyday entries are driven through the sign-in dialog's tests; here
// the answer file cannot be written.
class TestSignIn : public QObject
{
    Q_OBJECT

private slots:
    void answerFileNotWritable_data();
    void answerFileNotWritable();
    void answerFileAtSignIn_data();
    void answerFileAtSignIn();
};

void TestSignIn::answerFileNotWritable_data()
{
    QTest::addColumn<bool>("folderMissing");

    QTest::newRow("teacher's program never ran: no Data folder") << true;
    QTest::newRow("answer file replaced by a directory") << false;
}

void TestSignIn::answerFileNotWritable()
{
    QFETCH(bool, folderMissing);

    SeatFolder folder;
    if (folderMissing)
        QVERIFY(QDir(u"Data"_s).removeRecursively());
    else
        QVERIFY(QDir().mkdir(u"Data/LVQ7.txt"_s));

    student::Module1 module;
    const SignInResult result = student::signIn(module, u"7"_s);
    QCOMPARE(result.status, SignInResult::Status::WriteFailed);
    // Only a missing folder is the teacher's program not started yet.
    QCOMPARE(result.message.contains(u"フォルダ \"Data\""_s), folderMissing);
    QCOMPARE(result.message.contains(u"先生のプログラムを先に起動"_s), folderMissing);
    QCOMPARE(result.message.contains(u"共有フォルダ"_s), !folderMissing);
    QVERIFY(result.message.contains(u"Data/LVQ7.txt"_s));
    QCOMPARE(module.SeatNumber, 0);
    QVERIFY(module.AnswerFilePath.isEmpty());
    QCOMPARE(QDir(u"Data"_s).exists(), !folderMissing); // nothing was created
}

void TestSignIn::answerFileAtSignIn_data()
{
    QTest::addColumn<QByteArray>("before"); // a marker of SharedFolderFaults.h, or bytes
    QTest::addColumn<QByteArray>("after");

    const QByteArray zero = " 0 \r\n";
    QTest::newRow("an answer given stays") << QByteArray(" 3 \r\n") << QByteArray(" 3 \r\n");
    QTest::newRow("5 stays") << QByteArray(" 5 \r\n") << QByteArray(" 5 \r\n");
    QTest::newRow("no file yet") << QByteArray("<missing>") << zero;
    QTest::newRow("no answer yet") << zero << zero;
    QTest::newRow("6 is no answer") << QByteArray(" 6 \r\n") << zero;
    QTest::newRow("2.5 is no answer") << QByteArray(" 2.5 \r\n") << zero;
    QTest::newRow("garbage") << QByteArray("\xff\x00x") << zero;
    QTest::newRow("pipe") << QByteArray("<pipe>") << zero;
    QTest::newRow("socket") << QByteArray("<socket>") << zero;
    QTest::newRow("link to a file outside") << QByteArray("<link:../outside.txt>") << zero;
    QTest::newRow("link to another seat's answer") << QByteArray("<link:LVQ8.txt>") << zero;
    QTest::newRow("second name of another seat's file") << QByteArray("<hardlink:Data/LVQ8.txt>") << zero;
}

// Sign-in never empties an answer the seat's own file holds; anything else
// is replaced by a regular file of its own holding 0, never written through
// what a neighbour put at its name.
void TestSignIn::answerFileAtSignIn()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    if (const char *reason = faults::cannotMake(before))
        QSKIP(reason);
    SeatFolder folder;
    QVERIFY(exchange::writeWholeFile(u"outside.txt"_s, " 2 \r\n").ok);
    QVERIFY(exchange::writeWholeFile(u"Data/LVQ8.txt"_s, " 4 \r\n").ok);
    if (faults::isMarker(before))
        QVERIFY(faults::plant(u"Data/LVQ7.txt"_s, before));
    else if (before != "<missing>")
        QVERIFY(exchange::writeWholeFile(u"Data/LVQ7.txt"_s, before).ok);

    student::Module1 module;
    QCOMPARE(student::signIn(module, u"7"_s).status, SignInResult::Status::Accepted);
    QVERIFY(faults::isPlainFile(u"Data/LVQ7.txt"_s));
    QCOMPARE(SeatFolder::read(u"Data/LVQ7.txt"_s), after);
    QCOMPARE(SeatFolder::read(u"outside.txt"_s), QByteArray(" 2 \r\n"));
    QCOMPARE(SeatFolder::read(u"Data/LVQ8.txt"_s), QByteArray(" 4 \r\n"));
}

QTEST_GUILESS_MAIN(TestSignIn)
#include "tst_signin.moc"
