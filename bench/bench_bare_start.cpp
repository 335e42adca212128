// The floor of a start-up: a Qt Widgets process on the offscreen platform
// that shows one empty window and ends, with no program of ours in it.

#include "StartDriver.h"

#include <QWidget>

int main(int argc, char *argv[])
{
    bench::useOffscreenPlatform();
    QApplication app(argc, argv);
    bench::startWatchdog();

    QWidget window;
    bench::QuitWhenShown shown([&window](QObject *object) { return object == &window; });
    window.resize(320, 200);
    window.show();
    const int status = app.exec();
    return shown.shown ? status : 3;
}
