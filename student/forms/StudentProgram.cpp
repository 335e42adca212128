#include "StudentProgram.h"

#include "frmLogin.h"
#include "frmMain.h"
#include "MessageSeam.h"

#include "exchange/ShareRunner.h"
#include "exchange/StallProbe.h"
#include "student/Module1.h"
#include "widgets/QtJapanese.h"

#include <QApplication>

namespace student::forms {

int runProgram(QApplication &app, const std::function<void(frmLogin &)> &loginShown)
{
    widgets::installQtJapanese(app);
    exchange::StallProbe::fromEnvironment(&app);
    // The seat's files are read and written off the window's thread.
    exchange::BackgroundShareRunner shareRunner;
    student::Module1 module;
    MessageBoxSeam messages;
    {
        frmLogin login(module, messages);
        login.setShareRunner(shareRunner);
        if (loginShown)
            loginShown(login);
        login.exec();
        if (!login.OK)
            return 0; // at once: no window opens, nothing is written
    }

    frmMain panel(module, messages);
    panel.setShareRunner(shareRunner);
    // Ending at once leaves the event loop without closing the window, so
    // its close handler never runs and no position is saved.
    QObject::connect(&panel, &frmMain::endRequested, &app, [] { QCoreApplication::exit(0); });
    panel.show();
    return app.exec();
}

} // namespace student::forms
