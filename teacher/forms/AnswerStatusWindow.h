#pragma once

#include "teacher/tally/Collect.h"

#include <QWidget>

#include <array>

class QLabel;

namespace roster {
class ClassList;
}

namespace teacher::forms {

// "回答状況": one cell per pupil's seat, five rows of ten, telling only
// whether the seat has answered the current question, never which answer.
// Each cell says it by colour and by text, and carries the same words as its
// accessible name ("12番 回答済み", "12番 未回答") for screen readers; with
// names shown, the name comes after the number in both. The
// window is modeless; the main window keeps it for the whole run.
class AnswerStatusWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kSeats = 50;
    static constexpr int kColumns = 10;

    explicit AnswerStatusWindow(QWidget *parent = nullptr);

    // Shows the seats 1 to 50 of an answered-seats tally.
    void showAnswered(const tally::AnsweredSeats &answered);
    // Shows each seat's name from names under its number, or no names
    // (null). The list must outlive the window or be replaced first.
    void showNames(const roster::ClassList *names);

    // Cell of seat n (1 to 50).
    QLabel *cell(int seat) const { return m_cells[seat - 1]; }

    // "12番 回答済み", or with a name "12番 山田 太郎 回答済み".
    static QString cellName(int seat, bool answered, const QString &name = {});

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void paintCell(int seat, bool answered);
    void fitFonts();

    std::array<QLabel *, kSeats> m_cells{};
    std::array<bool, kSeats> m_answered{};
    const roster::ClassList *m_names = nullptr;
};

} // namespace teacher::forms
