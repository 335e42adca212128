#include "QuestionnaireWindows.h"

namespace questionnaire {

QuestionnaireWindows::QuestionnaireWindows(lesson::Lesson &lesson, QWidget *mainWindow)
    : m_lesson(lesson), m_mainWindow(mainWindow)
{
}

QuestionnaireWindows::~QuestionnaireWindows() = default;

void QuestionnaireWindows::showFileOpen() {}
void QuestionnaireWindows::showSave() {}
void QuestionnaireWindows::clearEditor() {}
void QuestionnaireWindows::showEditor() {}

} // namespace questionnaire
