#pragma once

#include "ClassroomFolder.h"

#include "teacher/lesson/Lesson.h"

#include <QString>

#include <random>

// The questionnaires of the long lessons (the classroom soak and the gateway
// soak): question k lies in row k % kRowsPerQuestionnaire of questionnaire
// k / kRowsPerQuestionnaire, each with 31 questions of 2 to 5 answers and
// every question's text its own ("P2Q7 今日の質問" is row 7 of the third).

// A questionnaire keeps at most 31 questions.
inline constexpr int kRowsPerQuestionnaire = 31;

// At the first row of a questionnaire, writes it as soak.txt in folder, loads
// it into lesson and opens it; false when the load failed. The random
// numbers pick how many answers each question has.
inline bool openSoakQuestionnaire(int k, const ClassroomFolder &folder, lesson::Lesson &lesson,
                                  std::mt19937 &random)
{
    using namespace Qt::StringLiterals;
    if (k % kRowsPerQuestionnaire != 0)
        return true;
    QString text;
    for (int r = 0; r < kRowsPerQuestionnaire; ++r) {
        text += u"P%1Q%2 今日の質問\n"_s.arg(k / kRowsPerQuestionnaire).arg(r);
        const int answers = std::uniform_int_distribution<int>(2, 5)(random);
        for (int a = 1; a <= answers; ++a)
            text += u"答え%1\n"_s.arg(a);
        text += u"\n"_s;
    }
    folder.writeQuestionnaire(u"soak.txt"_s, text);
    lesson.document().setFileLocation(folder.path(), u"soak.txt"_s);
    if (!lesson.document().SFileLoad())
        return false;
    lesson.mnuFileOpen_Click();
    return true;
}
