#pragma once

#include "teacher/lesson/ClassroomFolder.h"
#include "teacher/lesson/ScriptedPrompter.h"

#include "teacher/forms/frmMain.h"

#include <QTest>

// The teacher's main window over a lesson in a fresh classroom folder.
// Closing it ends nothing but the lesson.
struct MainWindowFixture
{
    ClassroomFolder folder;
    ScriptedPrompter prompter;
    lesson::Lesson lesson{prompter};
    teacher::forms::frmMain window{lesson};

    // Starts the lesson and shows the window; false if it never appeared.
    bool show()
    {
        window.setEndHandler([] {});
        window.Form_Load();
        window.show();
        return QTest::qWaitForWindowExposed(&window);
    }
};
