#pragma once

class QMenu;
class QWidget;

namespace teacher {

// Adds "タブレットから回答..." to the file menu, before its last separator:
// the item opens the gateway's window (or brings it to the front). The
// gateway and the window are children of owner, so that closing the
// teacher's program stops the gateway.
void addGatewayMenuItem(QWidget *owner, QMenu *fileMenu);

} // namespace teacher
