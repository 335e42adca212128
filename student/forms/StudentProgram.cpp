#include "StudentProgram.h"

#include "frmLogin.h"
#include "frmMain.h"
#include "MessageSeam.h"

#include "student/Module1.h"
#include "widgets/QtJapanese.h"

#include <QApplication>

namespace student {

int runProgram(QApplication &app, const std::function<void(frmLogin &)> &loginShown)
{
    widgets::installQtJapanese(app);
    Module1 module;
    MessageBoxSeam messages;
    {
        frmLogin login(module, messages);
        if (loginShown)
            loginShown(login);
        login.exec();
        if (!login.OK)
            return 0; // at once: no window opens, nothing is written
    }

    frmMain panel(module, messages);
    // Ending at once leaves the event loop without closing the window, so
    // its close handler never runs and no position is saved.
    QObject::connect(&panel, &frmMain::endRequested, &app, [] { QCoreApplication::exit(0); });
    panel.show();
    return app.exec();
}

} // namespace student
