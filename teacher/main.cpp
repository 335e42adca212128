#include "teacher/forms/TeacherProgram.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Teacher"));
    return teacher::forms::runProgram(app);
}
