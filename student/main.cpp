#include "student/forms/StudentProgram.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    return student::forms::runProgram(app);
}
