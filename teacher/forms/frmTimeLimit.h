#pragma once

#include <QDialog>

#include <array>

class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace teacher::forms {

// "制限時間": the teacher chooses a time and starts it while the pupils
// answer, or cancels the one running. The window keeps no state of the
// limit: the main window draws the lesson's limit on it (show()) and acts
// on its requests.
class frmTimeLimit : public QDialog
{
    Q_OBJECT

public:
    explicit frmTimeLimit(QWidget *parent = nullptr);

    // The seconds chosen: a preset, or the number typed.
    int chosenSeconds() const;
    // Draws the limit: its caption ("のこり 1:05", "時間です" or nothing),
    // whether a limit may be started now and whether one runs.
    void showLimit(const QString &caption, bool canStart, bool running);

signals:
    void startRequested(int seconds);
    void cancelRequested();

private:
    static constexpr std::array<int, 5> kPresets = {30, 60, 120, 180, 300};
    std::array<QRadioButton *, kPresets.size()> m_presets{};
    QRadioButton *m_other = nullptr;
    QSpinBox *m_seconds = nullptr;
    QLabel *m_remaining = nullptr;
    QLabel *m_hint = nullptr;
    QPushButton *m_start = nullptr;
    QPushButton *m_cancel = nullptr;
};

} // namespace teacher::forms
