#include "GatewayMenu.h"

#include "frmGateway.h"

#include <QAction>
#include <QMenu>
#include <QPointer>

using namespace Qt::StringLiterals;

namespace teacher {

void addGatewayMenuItem(QWidget *owner, QMenu *fileMenu)
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

    auto window = std::make_shared<QPointer<frmGateway>>();
    QObject::connect(action, &QAction::triggered, owner, [owner, window] {
        if (!*window)
            *window = new frmGateway(owner);
        (*window)->show();
        (*window)->raise();
        (*window)->activateWindow();
    });
}

} // namespace teacher
