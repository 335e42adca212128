#include "student/forms/frmLogin.h"
#include "student/forms/frmMain.h"
#include "student/forms/MessageSeam.h"

#include "student/Module1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    student::Module1 module;
    MessageBoxSeam messages;

    {
        frmLogin login(module, messages);
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
