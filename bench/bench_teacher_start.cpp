// The teacher's program from its start to its first publication: the
// confirmation is answered with OK, the main window publishes to every seat
// and is shown, and the process ends there. Run it in an empty classroom
// folder; it ends with status 2 when the 102 exchange files are not there.

#include "StartDriver.h"

#include "exchange/ExchangeFiles.h"
#include "teacher/forms/frmLogin.h"
#include "teacher/forms/frmMain.h"
#include "teacher/forms/TeacherProgram.h"

#include <QFile>

int main(int argc, char *argv[])
{
    bench::useOffscreenPlatform();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Teacher"));
    bench::startWatchdog();

    bench::QuitWhenShown mainWindow(
        [](QObject *object) { return qobject_cast<teacher::forms::frmMain *>(object) != nullptr; });
    const int status = teacher::forms::runProgram(app, [](teacher::forms::frmLogin &login) {
        // The dialog is not running yet; OK is pressed once it is.
        QTimer::singleShot(0, &login, [&login] { login.cmdOK_Click(); });
    });
    if (status != 0)
        return status;
    if (!mainWindow.shown) {
        std::fprintf(stderr, "the main window was never shown\n");
        return 3;
    }
    for (int seat = 0; seat <= exchange::kStudentsMax; ++seat) {
        if (!QFile::exists(exchange::commandFilePath(seat)) ||
            !QFile::exists(exchange::answerFilePath(seat))) {
            std::fprintf(stderr, "the files of seat %d were not published\n", seat);
            return 2;
        }
    }
    return 0;
}
