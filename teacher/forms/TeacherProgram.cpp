#include "TeacherProgram.h"

#include "frmLogin.h"
#include "frmMain.h"
#include "MessageBoxPrompter.h"
#include "TeacherUi.h"

#include "exchange/ShareRunner.h"
#include "exchange/StallProbe.h"
#include "widgets/QtJapanese.h"

#include <QApplication>

namespace teacher::forms {

int runProgram(QApplication &app, const std::function<void(frmLogin &)> &loginShown)
{
    widgets::installQtJapanese(app);
    QApplication::setWindowIcon(teacherIcon());
    {
        frmLogin login;
        if (loginShown)
            loginShown(login);
        login.exec();
        if (!login.OK)
            return 0; // nothing is created or written
    }

    exchange::StallProbe::fromEnvironment(&app);
    // The classroom folder is read and written off the window's thread.
    exchange::BackgroundShareRunner shareRunner;
    MessageBoxPrompter prompter;
    lesson::Lesson lesson(prompter);
    frmMain mainWindow(lesson);
    mainWindow.setShareRunner(shareRunner);
    prompter.setParentWidget(&mainWindow);
    if (!mainWindow.Form_Load())
        return 1; // another teacher's program holds the folder
    mainWindow.show();
    return app.exec();
}

} // namespace teacher::forms
