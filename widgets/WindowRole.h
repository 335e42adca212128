#pragma once

#include <QAccessible>
#include <QAccessibleWidget>
#include <QVariant>
#include <QWidget>

// Header only: the logic libraries never include it, the windows of both
// programs do.
namespace widgets {

// The property that carries a top-level window's accessible role.
inline const char *windowRoleProperty()
{
    return "ombraAccessibleRole";
}

// Gives windows marked by setWindowRole() their role; every other object is
// left to Qt's own interfaces.
inline QAccessibleInterface *windowRoleFactory(const QString &, QObject *object)
{
    auto *widget = qobject_cast<QWidget *>(object);
    if (!widget || !widget->isWindow())
        return nullptr;
    const QVariant role = widget->property(windowRoleProperty());
    if (!role.isValid())
        return nullptr;
    return new QAccessibleWidget(widget, static_cast<QAccessible::Role>(role.toInt()));
}

// A plain top-level QWidget looks like a mere client area ("filler") to
// assistive tools; this gives it the role of a window or a dialog, with its
// title as its name. Call it before the window is first shown.
inline void setWindowRole(QWidget *window, QAccessible::Role role)
{
    static const bool installed = [] {
        QAccessible::installFactory(windowRoleFactory);
        return true;
    }();
    Q_UNUSED(installed);
    window->setProperty(windowRoleProperty(), int(role));
}

} // namespace widgets
