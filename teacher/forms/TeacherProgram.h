#pragma once

#include <functional>

class QApplication;

namespace teacher::forms {

class frmLogin;

// The teacher's program from the confirmation to the end of the lesson:
// confirmation dialog, main window with the first publication, event loop.
// loginShown runs just before the confirmation is shown, so that a driver
// (a benchmark, the demo) can answer it instead of a person.
int runProgram(QApplication &app, const std::function<void(frmLogin &)> &loginShown = {});

} // namespace teacher::forms
