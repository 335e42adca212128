#include "GatewayMenu.h"

#include "frmGateway.h"

#include "gateway/GatewayServer.h"

#include <QAction>
#include <QMenu>
#include <QPointer>

using namespace Qt::StringLiterals;

namespace teacher::forms {

std::function<void(const QString &)> addGatewayMenuItem(QWidget *owner, QMenu *fileMenu)
{
    auto *action = new QAction(u"タブレットから回答..."_s, fileMenu);
    action->setObjectName(u"mnuTablet"_s);
    // Before the separator that sets off the exit item.
    QAction *before = nullptr;
    const QList<QAction *> items = fileMenu->actions();
    for (auto it = items.crbegin(); it != items.crend(); ++it) {
        if ((*it)->isSeparator()) {
            before = *it;
            break;
        }
    }
    fileMenu->insertAction(before, action);

    // The gateway lives as long as owner: the lesson code, the lesson key
    // and the seats' tokens last for the lesson, however often the window
    // is closed and opened again. It serves while the window is open; the
    // window only shows it.
    auto window = std::make_shared<QPointer<frmGateway>>();
    auto server = std::make_shared<QPointer<gateway::GatewayServer>>();
    auto timeCaption = std::make_shared<QString>();
    QObject::connect(action, &QAction::triggered, owner, [owner, window, server, timeCaption] {
        if (!*server) {
            *server = new gateway::GatewayServer(gateway::GatewayCore::newLessonCode(), owner);
            (*server)->core().setTimeCaption(*timeCaption);
        }
        if (!*window) {
            gateway::GatewayServer *running = *server;
            // A failure is shown in the window, with the server's message.
            if (!running->isListening())
                running->start(frmGateway::port());
            *window = new frmGateway(*running, owner);
            QObject::connect(*window, &frmGateway::closed, running, &gateway::GatewayServer::stop);
        }
        (*window)->show();
        (*window)->raise();
        (*window)->activateWindow();
    });
    return [server, timeCaption](const QString &caption) {
        *timeCaption = caption;
        if (*server)
            (*server)->core().setTimeCaption(caption);
    };
}

} // namespace teacher::forms
