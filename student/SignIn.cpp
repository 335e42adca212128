#include "SignIn.h"

#include "exchange/ExchangeFiles.h"
#include "exchange/FieldReader.h"
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
    const std::optional<double> value =
        exchange::FieldReader::fromFile(answerPath, exchange::kAnswerFileReadLimit).readNumber();
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

SignInResult signIn(Module1 &module, QStringView entry)
{
    const std::optional<int> seat = seatFromEntry(entry);
    if (!seat)
        return {SignInResult::Status::InvalidEntry, invalidEntryMessage()};

    // An answer already given stays: the pupil's program may have been
    // started again, or a browser signs in at the seat, after the pupil
    // answered. The teacher's publications reset the file, sign-in never.
    const QString answerPath = exchange::answerFilePath(*seat);
    const exchange::FileStatus written =
        holdsAnswer(answerPath)
            ? exchange::FileStatus{}
            : exchange::writeWholeFile(answerPath, exchange::answerFileBytes(0));
    // The teacher's program creates the folder at its start; a missing folder
    // almost always means it has not run in this working directory yet.
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
