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
    void plantedAnswerFileIsReplaced_data();
    void plantedAnswerFileIsReplaced();
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
    QVERIFY(result.message.contains(u"フォルダ \"Data\""_s));
    QVERIFY(result.message.contains(u"先生のプログラムを先に起動"_s));
    QVERIFY(result.message.contains(u"Data/LVQ7.txt"_s));
    QCOMPARE(module.SeatNumber, 0);
    QVERIFY(module.AnswerFilePath.isEmpty());
    QCOMPARE(QDir(u"Data"_s).exists(), !folderMissing); // nothing was created
}

void TestSignIn::plantedAnswerFileIsReplaced_data()
{
    QTest::addColumn<QByteArray>("planted");

    QTest::newRow("pipe") << QByteArray("<pipe>");
    QTest::newRow("socket") << QByteArray("<socket>");
    QTest::newRow("link to a file outside") << QByteArray("<link:../outside.txt>");
    QTest::newRow("link to another seat's file") << QByteArray("<link:LVQ8.txt>");
    QTest::newRow("second name of another seat's file") << QByteArray("<hardlink:Data/LVQ8.txt>");
}

// Sign-in writes the seat's answer file as a regular file of its own, never
// through what a neighbour put at its name.
void TestSignIn::plantedAnswerFileIsReplaced()
{
    QFETCH(QByteArray, planted);
    if (const char *reason = faults::cannotMake(planted))
        QSKIP(reason);
    SeatFolder folder;
    QVERIFY(exchange::writeWholeFile(u"outside.txt"_s, "mine").ok);
    QVERIFY(exchange::writeWholeFile(u"Data/LVQ8.txt"_s, " 4 \r\n").ok);
    QVERIFY(faults::plant(u"Data/LVQ7.txt"_s, planted));

    student::Module1 module;
    QCOMPARE(student::signIn(module, u"7"_s).status, SignInResult::Status::Accepted);
    QVERIFY(faults::isPlainFile(u"Data/LVQ7.txt"_s));
    QCOMPARE(SeatFolder::read(u"Data/LVQ7.txt"_s), QByteArray(" 0 \r\n"));
    QCOMPARE(SeatFolder::read(u"outside.txt"_s), QByteArray("mine"));
    QCOMPARE(SeatFolder::read(u"Data/LVQ8.txt"_s), QByteArray(" 4 \r\n"));
}

QTEST_GUILESS_MAIN(TestSignIn)
#include "tst_signin.moc"
