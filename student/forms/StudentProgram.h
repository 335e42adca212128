#pragma once

#include <functional>

class QApplication;

namespace student::forms {

class frmLogin;

// The pupil's program from sign-in to its end: sign-in dialog, answer panel,
// event loop. loginShown runs just before the sign-in dialog is shown, so
// that a driver (a benchmark, the demo) can fill it in instead of a pupil.
int runProgram(QApplication &app, const std::function<void(frmLogin &)> &loginShown = {});

} // namespace student::forms
