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

std::optional<int> seatFromEntry(QStringView entry)
{
    const double value = exchange::readNumber(entry);
    if (!(value >= 1 && value <= exchange::kStudentsMax) || !exchange::isWholeNumber(value))
        return std::nullopt;
    return static_cast<int>(value);
}

SignInResult signIn(Module1 &module, QStringView entry)
{
    const std::optional<int> seat = seatFromEntry(entry);
    if (!seat)
        return {SignInResult::Status::InvalidEntry, invalidEntryMessage()};

    // The teacher's program creates the folder at its start; a missing folder
    // almost always means it has not run in this working directory yet.
    const QString answerPath = exchange::answerFilePath(*seat);
    const exchange::FileStatus written =
        exchange::writeWholeFile(answerPath, exchange::answerFileBytes(0));
    if (!written) {
        const QString message =
            u"フォルダ \"%1\" に書き込めません。"
            u"先生のプログラムを先に起動してから、もう一度ログオンしてください。\n"
            u"（ファイル \"%2\"：%3）"_s.arg(exchange::kDataFolder.toString(), answerPath,
                                             written.error);
        return {SignInResult::Status::WriteFailed, message};
    }

    module.SeatNumber = *seat;
    module.CommandFilePath = exchange::commandFilePath(*seat);
    module.AnswerFilePath = answerPath;
    return {SignInResult::Status::Accepted, {}};
}

} // namespace student
