#include "teacher/lesson/MessageBoxPrompter.h"
#include "teacher/lesson/TeacherUi.h"
#include "teacher/lesson/frmLogin.h"
#include "teacher/lesson/frmMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Teacher"));
    QApplication::setWindowIcon(teacher::teacherIcon());

    teacher::frmLogin login;
    login.exec();
    if (!login.OK)
        return 0; // nothing is created or written

    teacher::MessageBoxPrompter prompter;
    lesson::Lesson lesson(prompter);
    teacher::frmMain mainWindow(lesson);
    prompter.setParentWidget(&mainWindow);
    mainWindow.Form_Load();
    mainWindow.show();
    return app.exec();
}
