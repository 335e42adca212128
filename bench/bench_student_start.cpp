// The pupil's program from its start to its answer panel: the sign-in is
// filled with seat 7 and confirmed, the panel is shown, and the process ends
// there. Run it in a classroom folder the teacher's program has published to.

#include "StartDriver.h"

#include "student/forms/frmLogin.h"
#include "student/forms/frmMain.h"
#include "student/forms/StudentProgram.h"

#include <QLineEdit>

int main(int argc, char *argv[])
{
    bench::useOffscreenPlatform();
    QApplication app(argc, argv);
    bench::startWatchdog();

    bench::QuitWhenShown panel(
        [](QObject *object) { return qobject_cast<student::forms::frmMain *>(object) != nullptr; });
    const int status = student::forms::runProgram(app, [](student::forms::frmLogin &login) {
        auto *seat = login.findChild<QLineEdit *>(QStringLiteral("txtUserName"));
        if (seat)
            seat->setText(QStringLiteral("7"));
        QTimer::singleShot(0, &login, [&login] { login.cmdOK_Click(); });
    });
    if (status != 0)
        return status;
    if (!panel.shown) {
        std::fprintf(stderr, "the answer panel was never shown\n");
        return 3;
    }
    return 0;
}
