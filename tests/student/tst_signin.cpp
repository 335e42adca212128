#include "SeatFolder.h"

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

QTEST_GUILESS_MAIN(TestSignIn)
#include "tst_signin.moc"
