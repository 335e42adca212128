#pragma once

#include "ClassroomFolder.h"
#include "ScriptedPrompter.h"

#include "teacher/lesson/Lesson.h"

// A lesson started in a fresh classroom folder, without windows.
struct StartedLesson
{
    ClassroomFolder folder;
    ScriptedPrompter prompter;
    lesson::Lesson lesson{prompter};

    StartedLesson() { lesson.Form_Load(); }
};
