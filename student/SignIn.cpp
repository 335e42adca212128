#include "SignIn.h"

#include "exchange/ExchangeFiles.h"
#include "exchange/NumberText.h"
#include "exchange/TextFile.h"


using namespace Qt::StringLiterals;

namespace student {

QString signInMessageTitle()
{
    return u"ﾛｸﾞｲﾝ"_s;
}

QString invalidEntryMessage()
{
    return u"入力が正しくありません。もう一度入力してください !\n１～５０の数字を入力してください"_s;
}

namespace {

// Whether the seat's own answer file holds an answer, 1 to 5, as the
// teacher's program counts it. Anything else put at its name (a link, a
// second name of another seat's file, a pipe, a folder) holds none and is
// replaced.
bool holdsAnswer(const QString &answerPath)
{
    if (!exchange::isOwnRegularFile(answerPath))
        return false;
    const std::optional<double> value = exchange::readAnswerFile(answerPath);
    return value && *value >= 1 && *value <= 5 && exchange::isWholeNumber(*value);
}

} // namespace

std::optional<int> seatFromEntry(QStringView entry)
{
    const double value = exchange::readNumber(entry);
    if (!(value >= 1 && value <= exchange::kStudentsMax) || !exchange::isWholeNumber(value))
        return std::nullopt;
    return static_cast<int>(value);
}

SignInResult signIn(Module1 &module, QStringView entry, exchange::ShareRunner &runner)
{
    const std::optional<int> seat = seatFromEntry(entry);
    if (!seat)
        return {SignInResult::Status::InvalidEntry, invalidEntryMessage()};

    // An answer already given stays: the pupil's program may have been
    // started again, or a browser signs in at the seat, after the pupil
    // answered. The teacher's publications reset the file, sign-in never.
    const QString answerPath = exchange::answerFilePath(*seat);
    bool folderMissing = false;
    const exchange::FileStatus written = runner.run([&answerPath, &folderMissing] {
        if (holdsAnswer(answerPath))
            return exchange::FileStatus{};
        const exchange::FileStatus status =
            exchange::writeWholeFile(answerPath, exchange::answerFileBytes(0));
        folderMissing = !status && exchange::isMissing(exchange::kDataFolder.toString());
        return status;
    });
    if (!written) {
        // The teacher's program creates the folder at its start; a missing
        // folder almost always means it has not run in this working directory
        // yet. Any other failure is the share's, and said as such.
        const QString message =
            folderMissing
                ? u"フォルダ \"%1\" に書き込めません。"
                  u"先生のプログラムを先に起動してから、もう一度ログオンしてください。\n"
                  u"（ファイル \"%2\"：%3）"_s.arg(exchange::kDataFolder.toString(), answerPath,
                                                   written.error)
                : u"共有フォルダがファイル \"%1\" への書き込みを受け付けませんでした（%2）。"
                  u"しばらくしてから、もう一度ログオンしてください。"_s.arg(answerPath,
                                                                           written.error);
        return {SignInResult::Status::WriteFailed, message};
    }

    module.SeatNumber = *seat;
    module.CommandFilePath = exchange::commandFilePath(*seat);
    module.AnswerFilePath = answerPath;
    return {SignInResult::Status::Accepted, {}};
}

} // namespace student
