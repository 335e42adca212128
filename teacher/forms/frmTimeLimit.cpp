#include "frmTimeLimit.h"

#include "TeacherUi.h"

#include "teacher/lesson/TimeLimit.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace teacher::forms {
namespace {

QString presetCaption(int seconds)
{
    return seconds < 60 ? QString::number(seconds) + u"秒"_s
                        : QString::number(seconds / 60) + u"分"_s;
}

} // namespace

frmTimeLimit::frmTimeLimit(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frmTimeLimit"_s);
    setWindowTitle(u"制限時間"_s);
    setFont(gothicFont(12));

    auto *choice = new QGroupBox(u"時間"_s, this);
    choice->setObjectName(u"fraTime"_s);
    auto *grid = new QGridLayout(choice);
    for (std::size_t i = 0; i < kPresets.size(); ++i) {
        auto *preset = new QRadioButton(presetCaption(kPresets[i]), choice);
        preset->setObjectName(u"optTime_"_s + QString::number(kPresets[i]));
        grid->addWidget(preset, int(i) / 3, int(i) % 3);
        m_presets[i] = preset;
    }
    m_presets[1]->setChecked(true);
    m_other = new QRadioButton(u"秒数を指定"_s, choice);
    m_other->setObjectName(u"optTimeOther"_s);
    grid->addWidget(m_other, 2, 0, 1, 2);
    m_seconds = new QSpinBox(choice);
    m_seconds->setObjectName(u"txtSeconds"_s);
    m_seconds->setRange(lesson::TimeLimit::kMinSeconds, lesson::TimeLimit::kMaxSeconds);
    m_seconds->setValue(90);
    m_seconds->setSuffix(u" 秒"_s);
    m_seconds->setAccessibleName(u"秒数"_s);
    m_seconds->setEnabled(false);
    grid->addWidget(m_seconds, 2, 2);
    connect(m_other, &QRadioButton::toggled, m_seconds, &QWidget::setEnabled);

    m_remaining = new QLabel(this);
    m_remaining->setObjectName(u"lblRemaining"_s);
    m_remaining->setFont(gothicFont(28, true));
    m_remaining->setAlignment(Qt::AlignCenter);
    m_remaining->setMinimumHeight(48);

    m_hint = new QLabel(u"回答を受け付けている間に開始できます。"_s, this);
    m_hint->setObjectName(u"lblHint"_s);
    m_hint->setWordWrap(true);

    auto *buttons = new QDialogButtonBox(this);
    m_start = buttons->addButton(u"開始"_s, QDialogButtonBox::ActionRole);
    m_start->setObjectName(u"cmdStartLimit"_s);
    m_cancel = buttons->addButton(u"取り消し"_s, QDialogButtonBox::ActionRole);
    m_cancel->setObjectName(u"cmdCancelLimit"_s);
    QPushButton *close = buttons->addButton(u"閉じる"_s, QDialogButtonBox::RejectRole);
    close->setObjectName(u"cmdClose"_s);
    connect(m_start, &QPushButton::clicked, this, [this] { emit startRequested(chosenSeconds()); });
    connect(m_cancel, &QPushButton::clicked, this, &frmTimeLimit::cancelRequested);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(choice);
    layout->addWidget(m_remaining);
    layout->addWidget(m_hint);
    layout->addWidget(buttons);
    showLimit({}, false, false);
}

int frmTimeLimit::chosenSeconds() const
{
    for (std::size_t i = 0; i < kPresets.size(); ++i) {
        if (m_presets[i]->isChecked())
            return kPresets[i];
    }
    return m_seconds->value();
}

void frmTimeLimit::showLimit(const QString &caption, bool canStart, bool running)
{
    m_remaining->setText(caption);
    m_remaining->setAccessibleName(caption.isEmpty() ? u"制限時間なし"_s : caption);
    m_start->setEnabled(canStart);
    m_cancel->setEnabled(running);
    m_hint->setVisible(!canStart && !running);
}

} // namespace teacher::forms
