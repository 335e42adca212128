#include "ClassListMenu.h"

#include "AnswerStatusWindow.h"
#include "frmMain.h"

#include "teacher/lesson/Lesson.h"
#include "teacher/roster/NamedRecord.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace teacher::forms {
namespace {

// The lines of a list's problems, cut so that the box fits the screen.
QString problemLines(const QStringList &problems)
{
    constexpr int kShown = 12;
    QStringList lines = problems.mid(0, kShown);
    if (problems.size() > kShown)
        lines << u"ほか %1件"_s.arg(problems.size() - kShown);
    return lines.join(u'\n');
}

QString documentsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QAction *insertItem(QMenu *menu, QAction *before, const QString &name, const QString &caption,
                    const QKeySequence &shortcut)
{
    auto *action = new QAction(caption, menu);
    action->setObjectName(name);
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::ApplicationShortcut);
    menu->insertAction(before, action);
    return action;
}

} // namespace

ClassListMenu::ClassListMenu(frmMain &window, lesson::Lesson &lesson)
    : QObject(&window), m_window(window), m_lesson(lesson)
{
    setObjectName(u"classListMenu"_s);
    QMenu *file = window.findChild<QMenu *>(u"mnuFile"_s);
    QAction *beforeExit = window.findChild<QAction *>(u"mnuBar1"_s);
    file->insertSeparator(beforeExit)->setObjectName(u"mnuBarClassList"_s);
    m_open = insertItem(file, beforeExit, u"mnuOpenClassList"_s, u"名簿を開く..."_s,
                        QKeySequence(Qt::CTRL | Qt::Key_L));
    m_saveRecord =
        insertItem(file, beforeExit, u"mnuSaveNamedRecord"_s, u"名前付きの記録を保存..."_s,
                   QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    connect(m_open, &QAction::triggered, this, &ClassListMenu::mnuOpenClassList_Click);
    connect(m_saveRecord, &QAction::triggered, this, &ClassListMenu::mnuSaveNamedRecord_Click);

    // Last in the display menu, so that no item moves: off at first, as the
    // overview may be on the projector.
    QMenu *display = window.findChild<QMenu *>(u"mnuDisplay"_s);
    display->addSeparator()->setObjectName(u"mnuBarNames"_s);
    m_showNames = insertItem(display, nullptr, u"mnuShowNames"_s, u"名前を表示"_s,
                             QKeySequence(Qt::CTRL | Qt::Key_N));
    m_showNames->setCheckable(true);
    connect(m_showNames, &QAction::toggled, this, &ClassListMenu::mnuShowNames_Toggled);
    // The overview is made the first time 回答状況 runs: it gets the names
    // once it exists.
    if (QAction *status = window.findChild<QAction *>(u"mnuAnswerStatus"_s))
        connect(status, &QAction::triggered, this, &ClassListMenu::showNamesInOverview);

    connect(&lesson.session(), &lesson::LessonSession::changed, this, &ClassListMenu::refresh);
    connect(file, &QMenu::aboutToShow, this, &ClassListMenu::refresh);

    m_chooseOpenPath = [this](const QString &proposed) {
        return QFileDialog::getOpenFileName(&m_window, u"名簿を開く"_s, proposed,
                                            u"名簿 (*.csv *.txt *.tsv);;すべてのファイル (*)"_s);
    };
    m_chooseSavePath = [this](const QString &proposed) {
        return QFileDialog::getSaveFileName(&m_window, u"名前付きの記録を保存"_s, proposed,
                                            u"CSV (*.csv)"_s);
    };
    m_warn = [this](const QString &text) {
        QMessageBox::warning(&m_window, m_window.windowTitle(), text);
    };
    refresh();
}

void ClassListMenu::refresh()
{
    m_showNames->setEnabled(m_list.has_value());
    const lesson::LessonSession &session = m_lesson.session();
    m_saveRecord->setEnabled(
        m_list && roster::recordHasAnswers(session.record().history(), session.studentsMax()));
}

bool ClassListMenu::openList(const QString &path)
{
    return open(path, false);
}

void ClassListMenu::openRemembered()
{
    const QString path = roster::rememberedClassListPath();
    if (!path.isEmpty())
        open(path, true);
}

bool ClassListMenu::open(const QString &path, bool remembered)
{
    const roster::ClassListLoad load = roster::loadClassList(path);
    const QString shownPath = exchange::nativePath(path);
    if (!load.status.ok) {
        QString text =
            u"名簿「%1」を読み込めませんでした。\n%2"_s.arg(shownPath, load.status.error);
        if (!load.reading.problems.isEmpty())
            text += u"\n\n"_s + problemLines(load.reading.problems);
        if (remembered) {
            // Said once: the path is forgotten, so the next start is quiet.
            roster::rememberClassListPath({});
            text = u"前に開いた"_s + text +
                   u"\n\n名前なしで続けます。次からはこの名簿を開きません"
                   u"（ﾌｧｲﾙ → 名簿を開く... で開き直せます）。"_s;
        }
        m_warn(text);
        return false;
    }
    m_list = load.reading.list;
    m_path = path;
    roster::rememberClassListPath(QFileInfo(path).absoluteFilePath());
    showNamesInOverview();
    refresh();
    if (!load.reading.problems.isEmpty()) {
        m_warn(u"名簿「%1」を読み込みました（%2人）。次の行について：\n\n%3"_s.arg(
            shownPath, QString::number(m_list->size()), problemLines(load.reading.problems)));
    }
    return true;
}

void ClassListMenu::nameSeats(tally::LessonReport &report) const
{
    for (int seat = 0; seat < tally::kHistorySeats; ++seat)
        report.seatNames[seat] = m_list ? m_list->name(seat) : QString();
}

bool ClassListMenu::refusesNamesAt(const QString &path) const
{
    if (!m_list)
        return false;
    // The folder the file would go to, links resolved, against the
    // classroom folder's.
    const QString folder = QFileInfo(QFileInfo(path).absolutePath()).canonicalFilePath();
    const QString classroom = QDir::current().canonicalPath();
    const Qt::CaseSensitivity cs =
        QDir(u"A"_s) == QDir(u"a"_s) ? Qt::CaseInsensitive : Qt::CaseSensitive;
    if (folder.isEmpty() ||
        !(folder.compare(classroom, cs) == 0 || folder.startsWith(classroom + u'/', cs)))
        return false;
    m_warn(u"名前の入ったファイルは、生徒のパソコンからも見える教室のフォルダには保存しません。"
           u"ドキュメントなど先生のパソコンのフォルダを選んでください。\n"_s +
           exchange::nativePath(path));
    return true;
}

void ClassListMenu::mnuOpenClassList_Click()
{
    const QString proposed = m_path.isEmpty() ? documentsFolder() : m_path;
    const QString path = m_chooseOpenPath(proposed);
    if (!path.isEmpty())
        openList(path);
}

void ClassListMenu::mnuShowNames_Toggled(bool)
{
    showNamesInOverview();
}

void ClassListMenu::showNamesInOverview()
{
    if (AnswerStatusWindow *overview = m_window.answerStatusWindow())
        overview->showNames(m_list && m_showNames->isChecked() ? &*m_list : nullptr);
}

void ClassListMenu::mnuSaveNamedRecord_Click()
{
    refresh();
    if (!m_saveRecord->isEnabled())
        return;
    const QDate today = QDate::currentDate();
    QString path =
        m_chooseSavePath(QDir(documentsFolder()).filePath(roster::namedRecordFileName(today)));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += u".csv"_s;
    if (refusesNamesAt(path))
        return;
    const lesson::LessonSession &session = m_lesson.session();
    const exchange::FileStatus status = exchange::saveFileSafely(
        path, roster::namedRecordBytes(session.record().history(), session.studentsMax(), *m_list));
    if (!status.ok) {
        m_warn(u"名前付きの記録を保存できませんでした。\n"_s + exchange::nativePath(path) +
               u"\n"_s + status.error);
    }
}

} // namespace teacher::forms
