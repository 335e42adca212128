#include "AnswerPanel.h"

#include "exchange/Cp932.h"
#include "exchange/ExchangeFiles.h"
#include "exchange/NumberText.h"
#include "exchange/TextFile.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace student {
namespace {

constexpr std::array<int, kAnswerButtonCount> kInitialLefts{8, 120, 232, 344, 456};

// One cell of the layout table; 0 leaves left or width as they are.
struct LayoutCell
{
    bool shown;
    int left;
    int width;
};

// Button 0 keeps left 8 and button 4 its place in every layout; mode 5 puts
// every button back where it started.
constexpr LayoutCell kLayouts[5][kAnswerButtonCount] = {
    {{true, 0, 224}, {false, 0, 0}, {false, 0, 0}, {false, 0, 0}, {false, 0, 0}},
    {{true, 0, 244}, {true, 290, 244}, {false, 0, 0}, {false, 0, 0}, {false, 0, 0}},
    {{true, 0, 160}, {true, 198, 160}, {true, 388, 160}, {false, 0, 0}, {false, 0, 0}},
    {{true, 0, 125}, {true, 149, 125}, {true, 289, 125}, {true, 429, 125}, {false, 0, 0}},
    {{true, 0, 97}, {true, 120, 97}, {true, 232, 97}, {true, 344, 97}, {true, 0, 0}},
};

ModeValue modeFromField(const QString &field)
{
    if (exchange::isNumericText(field))
        return exchange::readNumber(field);
    return field;
}

// The mode as one of 0 to 5 or 100; nothing for any other number or a text.
std::optional<int> knownMode(const ModeValue &mode)
{
    if (std::holds_alternative<std::monostate>(mode))
        return exchange::kModeEnd;
    const double *number = std::get_if<double>(&mode);
    if (!number)
        return std::nullopt;
    for (const int known : {0, 1, 2, 3, 4, 5, exchange::kModePaused}) {
        if (*number == known)
            return known;
    }
    return std::nullopt;
}

// A 16-bit integer slot takes the value rounded half to even; a value out of
// its range fails like any other read.
std::optional<qint16> toInteger16(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double rounded = std::nearbyint(value);
    if (rounded < -32768 || rounded > 32767)
        return std::nullopt;
    return static_cast<qint16>(rounded);
}

} // namespace

int answerFontPointSize(qsizetype longestLabel)
{
    if (longestLabel < 3)
        return 24;
    if (longestLabel < 6)
        return 20;
    if (longestLabel < 12)
        return 16;
    return 12;
}

AnswerPanel::AnswerPanel(Module1 &module) : m_module(module)
{
    for (int i = 0; i < kAnswerButtonCount; ++i) {
        m_view.buttons[i].left = kInitialLefts[i];
        m_view.buttons[i].caption = QString::number(i + 1);
    }
}

void AnswerPanel::attempt(std::optional<PendingWrite> &write) const
{
    const exchange::FileStatus status =
        m_runner->run([this, &write] { return m_writeFile(write->path, write->bytes); });
    if (status) {
        write.reset();
        return;
    }
    ++write->failures;
    write->error = status.error;
}

void AnswerPanel::setFileWriter(FileWriter writer)
{
    m_writeFile = writer;
    m_writeLock = [writer](const QString &path, qint64 readLimit,
                           const exchange::ContentCheck &expected, const QByteArray &bytes) {
        using Outcome = exchange::GuardedRewrite::Outcome;
        QString error;
        const std::optional<QByteArray> held = exchange::readFileHead(path, readLimit, &error);
        if (!held)
            return exchange::GuardedRewrite{Outcome::Failed, error};
        if (!expected(*held))
            return exchange::GuardedRewrite{Outcome::NotExpected, {}};
        const exchange::FileStatus status = writer(path, bytes);
        return status ? exchange::GuardedRewrite{}
                      : exchange::GuardedRewrite{Outcome::Failed, status.error};
    };
}

namespace {

// Whether something (a file, a folder, a link, even a broken one) is at path.
bool nameTaken(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

AnswerPanel::LockResult AnswerPanel::attemptLock()
{
    const QByteArray lock = m_pendingLock->bytes;
    // The check is asked only about a regular file of the name's own: a
    // refusal without it means a missing file, a link, a pipe and the like.
    bool judged = false;
    const std::optional<CommandFields> expected = m_expected;
    const QString path = m_pendingLock->path;
    const exchange::GuardedRewrite result = m_runner->run([&] {
        return m_writeLock(
            path, exchange::kCommandFileReadLimit,
            [&expected, &judged](const QByteArray &held) {
                judged = true;
                return expected && exchange::commandFields(held) == *expected;
            },
            lock);
    });
    switch (result.outcome) {
    case exchange::GuardedRewrite::Outcome::Written:
        m_pendingLock.reset();
        m_expected = exchange::commandFields(lock);
        return LockResult::WrittenOrPending;
    case exchange::GuardedRewrite::Outcome::NotExpected:
        if (!judged && m_runner->run([&path] { return nameTaken(path); })) {
            // A link, pipe or the like that somebody put at the name holds no
            // newer question: the lock replaces it with a file of its own, as
            // every write of the programs does.
            attempt(m_pendingLock);
            if (!m_pendingLock)
                m_expected = exchange::commandFields(lock);
            return LockResult::WrittenOrPending;
        }
        m_pendingLock.reset();
        return judged ? LockResult::QuestionGone : LockResult::NotOwnFile;
    case exchange::GuardedRewrite::Outcome::Failed:
        break;
    }
    ++m_pendingLock->failures;
    m_pendingLock->error = result.error;
    return LockResult::WrittenOrPending;
}

void AnswerPanel::tellNotOwnFile(int lostAnswer)
{
    m_lostAnswerNotice =
        u"ファイル \"%1\" が見つからないか、通常のファイルではありません（リンク、パイプ、"
        u"フォルダなど）。"_s.arg(m_module.CommandFilePath);
    if (lostAnswer != 0)
        m_lostAnswerNotice.prepend(u"回答 %1 は届いていません。"_s.arg(lostAnswer));
}

AnswerPanel::PollResult AnswerPanel::PollCommandFile()
{
    m_module.ShownQuestion.fill(QString());

    const QString path = m_module.CommandFilePath;
    const exchange::CommandFileRead read =
        m_runner->run([&path] { return exchange::readCommandFile(path); });
    const CommandFields &fields = read.fields;
    m_lastReadWhole = exchange::isWholeCommandFile(fields);
    // A failed read changes nothing: mode and one-answer flag keep their
    // values, the texts stay empty.
    if (fields[0])
        m_LVQMode = modeFromField(*fields[0]);
    for (int i = 0; i < 6; ++i) {
        if (fields[i + 1])
            m_module.ShownQuestion[i] = *fields[i + 1];
    }
    if (fields[7]) {
        if (const std::optional<qint16> flag = toInteger16(exchange::readNumber(*fields[7])))
            m_module.OneAnswerOnly = *flag;
    }

    if (settlePendingWrites(read.opened, fields))
        m_LVQMode = double(exchange::kModePaused);

    m_view.question = m_module.ShownQuestion[0];
    FitAnswerFont();
    for (int i = 0; i < kAnswerButtonCount; ++i) {
        if (!m_module.ShownQuestion[i + 1].isEmpty())
            m_view.buttons[i].caption = m_module.ShownQuestion[i + 1];
    }
    return applyMode();
}

// Retries or drops the writes left over from a click; true while this seat's
// one-answer lock is in force, so that reading the teacher's full form of an
// already answered question does not open the buttons again.
bool AnswerPanel::settlePendingWrites(bool opened, const CommandFields &fields)
{
    const bool lockWasPending = m_pendingLock.has_value();
    if (!opened) // nothing is known about the teacher's side; keep all as it is
        return lockWasPending;

    if (!m_pendingLock && !m_pendingAnswer) {
        m_expected = fields;
        return false;
    }

    if (m_expected && fields == *m_expected) {
        // The lock's check may still find a question published after this
        // read: the buttons stay hidden, and the next poll shows it.
        const LockResult lock = m_pendingLock ? attemptLock() : LockResult::WrittenOrPending;
        if (lock != LockResult::WrittenOrPending) {
            const int lostAnswer = m_pendingAnswer ? m_pendingAnswerValue : 0;
            dropPendingWrites();
            if (lock == LockResult::NotOwnFile)
                tellNotOwnFile(lostAnswer);
            return true;
        }
        if (m_pendingAnswer)
            attempt(m_pendingAnswer);
        return lockWasPending;
    }

    // The teacher's program has written the file since the click.
    dropPendingWrites();
    m_expected = fields;
    return false;
}

void AnswerPanel::dropPendingWrites()
{
    if (m_pendingAnswer && m_pendingAnswerValue != 0) {
        m_lostAnswerNotice =
            u"回答 %1 をファイル \"%2\" に書き込めないうちに（%3）、先生の画面が切り替わりました。"
            u"この回答は届いていません。"_s.arg(QString::number(m_pendingAnswerValue),
                                                m_pendingAnswer->path, m_pendingAnswer->error);
    }
    m_pendingLock.reset();
    m_pendingAnswer.reset();
}

void AnswerPanel::FitAnswerFont()
{
    qsizetype longest = 0;
    for (int i = 1; i <= kAnswerButtonCount; ++i)
        longest = std::max(longest, m_module.ShownQuestion[i].size());
    m_view.buttonPointSize = answerFontPointSize(longest);
}

AnswerPanel::PollResult AnswerPanel::applyMode()
{
    const std::optional<int> mode = knownMode(m_LVQMode);
    if (!mode)
        return PollResult::Continue;
    if (*mode == exchange::kModeEnd)
        return PollResult::EndProgram;
    if (*mode == exchange::kModePaused) {
        for (AnswerButtonView &button : m_view.buttons)
            button.visible = false;
    } else {
        applyLayout(*mode);
    }
    return PollResult::Continue;
}

void AnswerPanel::applyLayout(int mode)
{
    for (int i = 0; i < kAnswerButtonCount; ++i) {
        const LayoutCell &cell = kLayouts[mode - 1][i];
        AnswerButtonView &button = m_view.buttons[i];
        button.visible = cell.shown;
        if (cell.left)
            button.left = cell.left;
        if (cell.width)
            button.width = cell.width;
    }
}

std::optional<exchange::CommandFields> AnswerPanel::publishedSinceLastPoll() const
{
    if (!m_expected)
        return std::nullopt;
    const QString path = m_module.CommandFilePath;
    const exchange::CommandFileRead read =
        m_runner->run([&path] { return exchange::readCommandFile(path); });
    // A file that cannot be read right now tells nothing; the click goes on
    // and a failing write is kept pending as usual.
    if (!read.opened || read.fields == *m_expected)
        return std::nullopt;
    return read.fields;
}

bool AnswerPanel::Command1_Click(int Index)
{
    if (Index < 0 || Index >= kAnswerButtonCount)
        return true;
    m_lostAnswerNotice.clear();
    // The pupil sees a question for up to one poll period after the teacher's
    // program has replaced it; a click in that time must not be written.
    if (publishedSinceLastPoll())
        return false;

    if (m_module.OneAnswerOnly == 1) {
        const QByteArray lockBytes = exchange::shortCommandFileBytes(m_module.ShownQuestion[0]);
        m_pendingLock = PendingWrite{m_module.CommandFilePath, lockBytes, 0, {}};
        // The teacher's program may have published while the lock's open was
        // under way, or the file is no longer this seat's own: nothing is
        // written then.
        const LockResult lock = attemptLock();
        if (lock == LockResult::NotOwnFile)
            tellNotOwnFile(Index + 1);
        if (lock != LockResult::WrittenOrPending)
            return false;
        m_LVQMode = double(exchange::kModePaused);
        for (AnswerButtonView &button : m_view.buttons)
            button.visible = false;
    }

    // A newer answer replaces one still waiting to be written.
    m_pendingAnswerValue = Index + 1;
    m_pendingAnswer = PendingWrite{
        m_module.AnswerFilePath, exchange::answerFileBytes(m_pendingAnswerValue), 0, {}};
    attempt(m_pendingAnswer);

    // The teacher's program may have published between the look above and
    // the write, and reset the answer file before it: the answer would then
    // count for a question the pupil has not seen. It is taken back, again
    // at the polls while that question stands if need be.
    if (m_pendingAnswer)
        return true;
    if (const std::optional<CommandFields> published = publishedSinceLastPoll()) {
        m_pendingLock.reset();
        m_expected = published;
        m_pendingAnswerValue = 0;
        m_pendingAnswer =
            PendingWrite{m_module.AnswerFilePath, exchange::answerFileBytes(0), 0, {}};
        attempt(m_pendingAnswer);
        return false;
    }
    return true;
}

QString AnswerPanel::notice() const
{
    if (!m_lostAnswerNotice.isEmpty())
        return m_lostAnswerNotice;
    QStringList lines;
    if (m_pendingAnswer && m_pendingAnswer->failures >= 2) {
        lines
            << u"回答をファイル \"%1\" に書き込めません（%2）。書き込めるまで自動で繰り返します。"_s
                   .arg(m_pendingAnswer->path, m_pendingAnswer->error);
    }
    if (m_pendingLock && m_pendingLock->failures >= 2) {
        lines << u"ファイル \"%1\" に書き込めません（%2）。書き込めるまで自動で繰り返します。"_s
                     .arg(m_pendingLock->path, m_pendingLock->error);
    }
    return lines.join(u'\n');
}

} // namespace student
