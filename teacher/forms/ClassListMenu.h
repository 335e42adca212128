#pragma once

#include "teacher/roster/ClassList.h"
#include "teacher/tally/LessonReport.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QAction;

namespace lesson {
class Lesson;
}

namespace teacher::forms {

class frmMain;

// The class list's menu items on the main window: "名簿を開く..." and
// "名前付きの記録を保存..." in the file menu, "名前を表示" in the display
// menu. The list is read from the teacher's PC and kept in memory only; the
// settings remember its path. Names appear in the seat overview while
// "名前を表示" is ticked, in the lesson's report, and in the copy of the
// record saved with names, never in the classroom folder.
class ClassListMenu : public QObject
{
    Q_OBJECT

public:
    ClassListMenu(frmMain &window, lesson::Lesson &lesson);

    // Opens the list remembered in the settings, if any. A list that cannot
    // be read is said once and forgotten; the lesson goes on without names.
    void openRemembered();
    // Opens the list at path, remembering it when it names a seat; the list
    // open before stays when it does not.
    bool openList(const QString &path);

    // The list open, or null.
    const roster::ClassList *list() const { return m_list ? &*m_list : nullptr; }
    QString listPath() const { return m_path; }
    // Puts the list's names into the report's seat table.
    void nameSeats(tally::LessonReport &report) const;
    // Whether a list is open: files with names are proposed in Documents.
    bool hasList() const { return m_list.has_value(); }
    // A file with names never goes into the classroom folder, which every
    // pupil's PC can read: true, and the teacher is told, for a path in it
    // while a list is open.
    bool refusesNamesAt(const QString &path) const;

    // Menu handlers.
    void mnuOpenClassList_Click();
    void mnuShowNames_Toggled(bool on);
    void mnuSaveNamedRecord_Click();
    // Enables the items by what there is: a list, answers.
    void refresh();

    // Asks for the list to open, or for where the record goes, proposing a
    // path; empty to cancel. File dialogs unless replaced.
    void setOpenPathChooser(std::function<QString(const QString &proposed)> chooser)
    {
        m_chooseOpenPath = std::move(chooser);
    }
    void setSavePathChooser(std::function<QString(const QString &proposed)> chooser)
    {
        m_chooseSavePath = std::move(chooser);
    }
    // Tells the teacher what went wrong; a message box unless replaced.
    void setWarner(std::function<void(const QString &text)> warner) { m_warn = std::move(warner); }

private:
    frmMain &m_window;
    lesson::Lesson &m_lesson;
    std::optional<roster::ClassList> m_list;
    QString m_path;
    QAction *m_open = nullptr;
    QAction *m_showNames = nullptr;
    QAction *m_saveRecord = nullptr;
    std::function<QString(const QString &)> m_chooseOpenPath;
    std::function<QString(const QString &)> m_chooseSavePath;
    std::function<void(const QString &)> m_warn;

    void showNamesInOverview();
    // Opens the list at path; one remembered from an earlier run is
    // forgotten when it cannot be read.
    bool open(const QString &path, bool remembered);
};

} // namespace teacher::forms
