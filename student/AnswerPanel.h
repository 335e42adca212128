#pragma once

#include "student/Module1.h"

#include "exchange/ExchangeFiles.h"
#include "exchange/ShareRunner.h"
#include "exchange/TextFile.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <array>
#include <functional>
#include <optional>
#include <variant>

namespace exchange {
class FieldReader;
}

namespace student {

inline constexpr int kAnswerButtonCount = 5;
inline constexpr int kAnswerButtonTop = 112;
inline constexpr int kAnswerButtonHeight = 70;
inline constexpr int kPollIntervalMs = 500;
// The buttons' font before the first poll sets it from the labels.
inline constexpr qreal kInitialButtonPointSize = 20.25;

// One answer button as the panel wants it shown (top and height never change).
struct AnswerButtonView
{
    bool visible = false;
    int left = 0;
    int width = 97;
    QString caption;

    friend bool operator==(const AnswerButtonView &, const AnswerButtonView &) = default;
};

// Everything the answer panel shows, for the window to apply to its widgets.
struct PanelView
{
    // LblEnqete
    QString question;
    // Command1 index 0 to 4
    std::array<AnswerButtonView, kAnswerButtonCount> buttons;
    qreal buttonPointSize = kInitialButtonPointSize;
};

// The mode slot: empty until line 1 of the command file was first read, then
// its number, or its text when the field is not a number.
using ModeValue = std::variant<std::monostate, double, QString>;

// The buttons' font size for the longest answer label (in characters).
int answerFontPointSize(qsizetype longestLabel);

// The answer panel's state and procedures, without widgets: polls the seat's
// command file, lays out the answer buttons and writes the pupil's answers.
//
// A write that fails at a click (the file held by the teacher's program at
// that instant, a network hiccup) is kept pending and retried at each poll,
// but only while the command file still holds what the click answered: once
// the teacher's program has published anew it has reset the answer file and
// replaced any lock, so a late answer would be counted for the wrong question
// and a late lock would close the new one. Such pending writes are dropped.
//
// The lock itself is written only over the command file the click answered:
// it is read and judged in the same opening that writes it
// (exchange::guardedRewrite), since the teacher's program may publish while
// the open is under way, which takes seconds on a slow share.
class AnswerPanel
{
public:
    enum class PollResult { Continue, EndProgram };
    // Rewrites a whole file; exchange::writeWholeFile unless replaced.
    using FileWriter = std::function<exchange::FileStatus(const QString &, const QByteArray &)>;
    // Rewrites the command file with the lock while it holds what the check
    // accepts; exchange::guardedRewrite unless replaced.
    using LockWriter = std::function<exchange::GuardedRewrite(
        const QString &, qint64, const exchange::ContentCheck &, const QByteArray &)>;

    explicit AnswerPanel(Module1 &module);

    // Lets tests make single writes fail while reads still succeed. The lock
    // is then written with writer as well, once a read of the command file
    // has found the fields the click answered.
    void setFileWriter(FileWriter writer);
    // Lets tests act between the lock's open and its write (the teacher's
    // program publishing meanwhile); replaces what setFileWriter set for it.
    void setLockWriter(LockWriter writer) { m_writeLock = std::move(writer); }
    // Runs the panel's reads and writes of the seat's files; in place unless
    // the program gives a runner that keeps its window going meanwhile. The
    // runner must outlive the panel.
    void setShareRunner(exchange::ShareRunner &runner) { m_runner = &runner; }

    // Reads the command file and updates the panel. EndProgram when the mode
    // is 0, or when no mode was ever read: the program must end at once.
    PollResult PollCommandFile();
    // Sets the buttons' font size from the labels in ShownQuestion.
    void FitAnswerFont();
    // Answers with button Index (answer Index + 1); with OneAnswerOnly 1 it
    // first locks the seat's command file and hides the buttons. Returns
    // false, writing nothing, when the teacher's program has published anew
    // since the last poll, or publishes while the lock is being written: the
    // click answered a question that is gone, its answer would be counted
    // for the new one and its lock would hide the new one. Also false,
    // writing nothing and telling the pupil (notice()), when the command file
    // is missing (a link, pipe or the like at its name is replaced by the
    // lock, as by every write of the programs); and false, with the answer
    // taken back (0), when the new question arrived while the answer was
    // being written. The caller then polls at once to show the new question.
    bool Command1_Click(int Index);

    const PanelView &view() const { return m_view; }
    const ModeValue &LVQMode() const { return m_LVQMode; }
    // Whether the last poll read the command file whole: its eight lines, or
    // the two of the one-answer lock. A file met while it is being rewritten
    // reads short.
    bool lastReadWhole() const { return m_lastReadWhole; }
    bool answerPending() const { return m_pendingAnswer.has_value(); }
    bool lockPending() const { return m_pendingLock.has_value(); }
    // What the pupil should be told about answers that could not be written:
    // empty when there is nothing to tell. A write that fails once and then
    // succeeds at the next poll is not worth a message.
    QString notice() const;

private:
    using CommandFields = exchange::CommandFields;

    struct PendingWrite
    {
        QString path;
        QByteArray bytes;
        int failures = 0;
        QString error;
    };

    // The command file's fields when the teacher's program has written it
    // since the last poll; nothing when it has not, or it cannot be read.
    std::optional<CommandFields> publishedSinceLastPoll() const;
    void attempt(std::optional<PendingWrite> &write) const;
    enum class LockResult {
        WrittenOrPending,
        // The command file holds other fields than m_expected.
        QuestionGone,
        // The command file is missing.
        NotOwnFile,
    };
    // Tries the pending lock, dropping it unless it stays pending.
    LockResult attemptLock();
    // lostAnswer: the answer that will not be written, 0 when none.
    void tellNotOwnFile(int lostAnswer);
    // The teacher's program has published since the click: what the click
    // left to write belongs to a question that is gone.
    void dropPendingWrites();
    bool settlePendingWrites(bool opened, const CommandFields &fields);
    PollResult applyMode();
    void applyLayout(int mode);

    Module1 &m_module;
    FileWriter m_writeFile = exchange::writeWholeFile;
    LockWriter m_writeLock = exchange::guardedRewrite;
    exchange::ShareRunner *m_runner = &exchange::ShareRunner::inPlace();
    ModeValue m_LVQMode;
    PanelView m_view;
    std::optional<PendingWrite> m_pendingLock;
    std::optional<PendingWrite> m_pendingAnswer;
    int m_pendingAnswerValue = 0;
    // The fields the command file is expected to hold: those of the last poll
    // that could open it, or the lock this panel wrote itself.
    std::optional<CommandFields> m_expected;
    QString m_lostAnswerNotice;
    bool m_lastReadWhole = false;
};

} // namespace student
