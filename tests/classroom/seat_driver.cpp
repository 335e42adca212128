// One pupil's seat for the classroom soak test: the pupil's program's own
// sign-in, poll and click code, driven by a random but reproducible pupil
// instead of a window. It talks to the teacher's side only through the
// exchange files, plus three plain files of the test itself:
//   soak-published.txt  "<k> <question>" once question k is fully published
//   soak-collected.txt  "<k>" once the teacher has counted question k
//   soak-seat<N>.txt    this seat's "<k> <final> <locked out> <late> <taken>" once it
//                       is done with k
// It keeps soak-seat<N>.log, one "<k> <final> <late> <taken>" per line, up to
// date. <final> is the seat's answer to question k as its file last held it;
// <late> is the answer (0: none) of a click on question k - 1 made after the
// teacher counted it and before question k was shown, <taken> whether the
// pupil's program took that click (1) or refused it or took it back (0).
#include "student/AnswerPanel.h"
#include "student/Module1.h"
#include "student/SignIn.h"

#include "exchange/TextFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QThread>

#include <random>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

constexpr int kPollMs = 4;

QString readSmall(const QString &path)
{
    const auto bytes = exchange::readFileHead(path, 4096);
    return bytes ? QString::fromUtf8(*bytes).trimmed() : QString();
}

// "<k> <rest>" -> k, or -1.
int markerNumber(const QString &text, QString *rest = nullptr)
{
    const qsizetype blank = text.indexOf(u' ');
    bool ok = false;
    const int k = text.left(blank < 0 ? text.size() : blank).toInt(&ok);
    if (rest)
        *rest = blank < 0 ? QString() : text.mid(blank + 1);
    return ok ? k : -1;
}

int currentAnswer(const student::Module1 &module)
{
    const QString text = readSmall(module.AnswerFilePath);
    return text.isEmpty() ? -1 : text.toInt();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        return 2;
    const int seat = args[1].toInt();
    std::mt19937 random(args[2].toUInt() * 1000u + unsigned(seat));
    auto chance = [&random](int percent) {
        return std::uniform_int_distribution<int>(0, 99)(random) < percent;
    };
    auto between = [&random](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };

    student::Module1 module;
    if (student::signIn(module, QString::number(seat)).status !=
        student::SignInResult::Status::Accepted)
        return 3;
    student::AnswerPanel panel(module);

    const QString statusPath = u"soak-seat%1.txt"_s.arg(seat);
    QStringList log;
    int done = -1; // last question this seat is done with
    QString doneQuestion;

#ifdef Q_OS_UNIX
    // A soak that times out or crashes must not leave fifty seats polling
    // for good: a seat whose test has gone ends itself.
    const pid_t parent = getppid();
#endif
    auto poll = [&]() {
#ifdef Q_OS_UNIX
        if (getppid() != parent)
            std::exit(4);
#endif
        if (panel.PollCommandFile() == student::AnswerPanel::PollResult::EndProgram)
            std::exit(0);
    };
    // Ready once the first poll has read the teacher's start-up publication:
    // a first poll that met a command file being rewritten would end the
    // program, as the pupil's program does, so the lesson waits for this.
    poll();
    exchange::writeWholeFile(u"soak-ready%1.txt"_s.arg(seat), "ready");

    auto visibleButtons = [&]() {
        QList<int> visible;
        for (int i = 0; i < student::kAnswerButtonCount; ++i) {
            if (panel.view().buttons[i].visible)
                visible << i;
        }
        return visible;
    };

    for (;;) {
        // Wait until the next question is fully published, clicking late on
        // the previous one now and then while the teacher publishes.
        QString question;
        int k = -1;
        const bool lateClick = done >= 0 && chance(30);
        const int lateDelay = between(0, 15);
        bool lateDone = false;
        int late = 0;
        bool lateTaken = false;
        QElapsedTimer sinceCollected;
        for (;;) {
            poll();
            k = markerNumber(readSmall(u"soak-published.txt"_s), &question);
            if (k > done)
                break;
            if (lateClick && !lateDone &&
                markerNumber(readSmall(u"soak-collected.txt"_s)) == done) {
                if (!sinceCollected.isValid())
                    sinceCollected.start();
                if (sinceCollected.elapsed() >= lateDelay) {
                    // Only while the panel still shows that question: once
                    // it shows the next, a click answers the next.
                    const QList<int> visible = visibleButtons();
                    if (!visible.isEmpty() && panel.view().question == doneQuestion) {
                        const int index = visible[between(0, int(visible.size()) - 1)];
                        late = index + 1;
                        lateTaken = panel.Command1_Click(index);
                    }
                    lateDone = true;
                }
            }
            QThread::msleep(kPollMs);
        }

        // Whatever a late click left in the answer file after the teacher's
        // reset counts for this question: nobody else writes it now. (Only a
        // late one-answer lock that hid this question from the seat leaves
        // one; any other is taken back.)
        int final = currentAnswer(module);
        bool lockedOut = false;
        for (;;) {
            poll();
            if (panel.view().question == question)
                break;
            // A late one-answer lock that landed after the teacher wrote this
            // seat's command file hides the question from this seat.
            if (readSmall(module.CommandFilePath).startsWith(u"100"_s)) {
                lockedOut = true;
                break;
            }
            QThread::msleep(kPollMs);
        }
        if (!lockedOut) {
            const int clicks = chance(15) ? 0 : between(1, 3);
            for (int c = 0; c < clicks; ++c) {
                QThread::msleep(between(0, 8));
                poll();
                const QList<int> visible = visibleButtons();
                if (visible.isEmpty())
                    break; // locked after one answer
                const int index = visible[between(0, int(visible.size()) - 1)];
                if (panel.Command1_Click(index))
                    final = index + 1;
            }
        }
        done = k;
        doneQuestion = question;
        log << u"%1 %2 %3 %4"_s.arg(k).arg(final).arg(late).arg(lateTaken ? 1 : 0);
        exchange::writeWholeFile(u"soak-seat%1.log"_s.arg(seat), log.join(u'\n').toUtf8());
        exchange::writeWholeFile(statusPath, u"%1 %2 %3 %4 %5"_s.arg(k)
                                                 .arg(final)
                                                 .arg(lockedOut ? 1 : 0)
                                                 .arg(late)
                                                 .arg(lateTaken ? 1 : 0)
                                                 .toUtf8());
    }
}
