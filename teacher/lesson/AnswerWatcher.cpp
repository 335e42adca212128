#include "AnswerWatcher.h"

#include "Lesson.h"

#include "exchange/ExchangeFiles.h"

namespace lesson {

AnswerWatcher::AnswerWatcher(Lesson &lesson, int settleMs, int minGapMs, QObject *parent)
    : QObject(parent), m_lesson(lesson), m_watch(settleMs, minGapMs)
{
    connect(&m_watch, &exchange::ChangeWatch::changed, this, [this] {
        if (m_lesson.collectNow())
            emit collected();
    });
}

bool AnswerWatcher::start()
{
    QStringList files;
    for (int seat = 0; seat <= m_lesson.LVQStudentsMax; ++seat)
        files << exchange::answerFilePath(seat);
    return m_watch.watch(files);
}

void AnswerWatcher::stop()
{
    m_watch.watch({});
}

} // namespace lesson
