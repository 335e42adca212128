#pragma once

#include <QString>

#include <functional>

class QMenu;
class QWidget;

namespace teacher::forms {

// Adds "タブレットから回答..." to the file menu, before its last separator:
// the item opens the gateway's window (or brings it to the front). The
// gateway and the window are children of owner, so that closing the
// teacher's program stops the gateway.
//
// Returns the setter of the time limit's caption for the tablets ("" without
// a limit): it goes to the gateway if there is one, and to a gateway made
// later.
std::function<void(const QString &)> addGatewayMenuItem(QWidget *owner, QMenu *fileMenu);

} // namespace teacher::forms
