// The teacher's lesson without its window, driven line by line from stdin
// for the browser test: each command runs the lesson's own handler and
// answers with one line.
//   set N      pick answer set N (the option buttons, 0 to 7)
//   check 0|1  "回答は１回だけ"
//   start      "再集計"
//   pause      "集計中断"
//   tick       one tick of the answer poll; answers "graph <captions>|<sum>"
//   close      closes the lesson (mode 0 to every seat) and ends
#include "teacher/lesson/Lesson.h"
#include "teacher/lesson/ScriptedPrompter.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <iostream>
#include <string>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    ScriptedPrompter prompter;
    lesson::Lesson lesson(prompter);
    lesson.Form_Load();
    QTextStream out(stdout);
    out << "ready" << Qt::endl;

    std::string line;
    while (std::getline(std::cin, line)) {
        const QStringList words = QString::fromStdString(line).split(u' ', Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        const QString command = words.first();
        const int argument = words.value(1).toInt();
        if (command == "set"_L1) {
            lesson.OptLVQ_Click(argument);
        } else if (command == "check"_L1) {
            lesson.Check1_Click(argument == 1);
        } else if (command == "start"_L1) {
            lesson.CmdStart_Click();
        } else if (command == "pause"_L1) {
            lesson.CmdPause_Click();
        } else if (command == "tick"_L1) {
            lesson.session().Timer1_Timer();
            QStringList captions;
            for (const tally::Bar &bar : lesson.view().graph)
                captions << bar.caption.trimmed();
            out << "graph " << captions.join(u',') << '|' << lesson.session().lastTally().lvqSum
                << Qt::endl;
            continue;
        } else if (command == "close"_L1) {
            lesson.Form_Unload();
            out << "closed" << Qt::endl;
            return 0;
        } else {
            out << "unknown " << command << Qt::endl;
            continue;
        }
        out << "ok " << lesson.LVQMode << Qt::endl;
    }
    return 0;
}
