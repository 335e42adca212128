#pragma once

#include "exchange/ShareRunner.h"

#include <QAccessible>
#include <QLabel>
#include <QWidget>

namespace widgets {

// A notice across a window while the share holding the classroom folder does
// not answer: shown once the runner's work has waited for a while, gone when
// it ends. It lies over the window's own controls and moves none of them.
inline QLabel *addShareStallBanner(QWidget *window, exchange::BackgroundShareRunner &runner,
                                   const QRect &geometry, const QString &text)
{
    auto *banner = new QLabel(text, window);
    banner->setObjectName(QStringLiteral("lblShareStalled"));
    banner->setGeometry(geometry);
    banner->setWordWrap(true);
    banner->setAlignment(Qt::AlignCenter);
    banner->setAutoFillBackground(true);
    QPalette palette = banner->palette();
    palette.setColor(QPalette::Window, QColor(255, 240, 160));
    palette.setColor(QPalette::WindowText, Qt::black);
    banner->setPalette(palette);
    banner->setFrameShape(QFrame::Box);
    banner->hide();
    QObject::connect(&runner, &exchange::BackgroundShareRunner::stalled, banner,
                     [banner](bool notAnswering) {
                         banner->setVisible(notAnswering);
                         if (notAnswering) {
                             banner->raise();
                             QAccessibleEvent shown(banner, QAccessible::Alert);
                             QAccessible::updateAccessibility(&shown);
                         }
                     });
    return banner;
}

} // namespace widgets
