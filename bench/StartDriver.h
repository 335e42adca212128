#pragma once

// Shared by the start-up drivers: they run a whole program on the offscreen
// platform, answer its first dialog as a user would, and end the process as
// soon as the window they wait for is shown. bench/report.py times them from
// spawn to exit.

#include <QApplication>
#include <QEvent>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace bench {

// Must run before the QApplication is made.
inline void useOffscreenPlatform()
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// A driver that hangs (a message box nobody answers) ends with status 4
// instead of holding up the report.
inline void startWatchdog(int milliseconds = 20000)
{
    QTimer::singleShot(milliseconds, [] {
        std::fprintf(stderr, "start-up did not finish in time\n");
        std::_Exit(4);
    });
}

// Leaves the event loop, without closing any window, once a widget that
// isWanted accepts is shown; `shown` is set then.
class QuitWhenShown : public QObject
{
public:
    explicit QuitWhenShown(std::function<bool(QObject *)> isWanted)
        : m_isWanted(std::move(isWanted))
    {
        qApp->installEventFilter(this);
    }

    bool shown = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!shown && event->type() == QEvent::Show && m_isWanted(watched)) {
            shown = true;
            // The window is shown before the event loop runs; the exit is
            // queued so that it reaches the loop once it does.
            QMetaObject::invokeMethod(
                qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    std::function<bool(QObject *)> m_isWanted;
};

} // namespace bench
