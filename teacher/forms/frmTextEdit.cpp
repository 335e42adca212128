#include "frmTextEdit.h"

#include "TeacherUi.h"

#include "widgets/WindowRole.h"

#include "teacher/lesson/Lesson.h"
#include "teacher/questionnaire/EditorText.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTextDocument>

using namespace Qt::StringLiterals;

namespace teacher::forms {

namespace {

QRect twipRect(int left, int top, int width, int height)
{
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

// A label whose text keeps its lines joined by a lone CR, as the guide is
// written, and still shows them one under the other: a plain label would
// draw each CR as a blank and put the whole guide on one line.
class CrLinesLabel : public QLabel
{
public:
    using QLabel::QLabel;

    QSize sizeHint() const override
    {
        const QRect bounds =
            fontMetrics().boundingRect(QRect(), Qt::AlignLeft | Qt::AlignTop, shownText());
        const QMargins margins = contentsMargins();
        return bounds.size().grownBy(margins);
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        style()->drawItemText(&painter, contentsRect(), int(alignment()), palette(), isEnabled(),
                              shownText(), foregroundRole());
    }

private:
    QString shownText() const
    {
        QString shown = text();
        shown.replace(u'\r', u'\n');
        return shown;
    }
};

// The questionnaire's text box. Shift+Enter makes the same line break as
// Enter: a text document would otherwise put a line separator (U+2028) there,
// which the box keeps as text of the line when it is read back.
class QuestionnaireBox : public QPlainTextEdit
{
public:
    using QPlainTextEdit::QPlainTextEdit;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
            event->modifiers().testFlag(Qt::ShiftModifier)) {
            QKeyEvent plain(event->type(), event->key(), event->modifiers() & ~Qt::ShiftModifier,
                            event->text(), event->isAutoRepeat(), ushort(event->count()));
            QPlainTextEdit::keyPressEvent(&plain);
            event->setAccepted(plain.isAccepted());
            return;
        }
        QPlainTextEdit::keyPressEvent(event);
    }
};

} // namespace

frmTextEdit::frmTextEdit(questionnaire::QuestionnaireDocument &document, QWidget *parent)
    : QWidget(parent, Qt::Window), m_document(document)
{
    setObjectName(u"frmTextEdit"_s);
    setWindowTitle(u"アンケートの文章編集"_s);
    widgets::setWindowRole(this, QAccessible::Window);
    setFont(gothicFont(9.75));
    // Resizable; the controls keep their place and size.
    resize(twips(9045), twips(7320));

    m_label1 = new CrLinesLabel(this);
    m_label1->setObjectName(u"Label1"_s);
    m_label1->setGeometry(twipRect(240, 120, 8535, 2175));
    m_label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_label1->setAutoFillBackground(true);
    QPalette palette = m_label1->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Base));
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Text));
    m_label1->setPalette(palette);

    m_txtEdit = new QuestionnaireBox(this);
    m_txtEdit->setObjectName(u"txtEdit"_s);
    m_txtEdit->setGeometry(twipRect(120, 2520, 8775, 3975));
    m_txtEdit->setFont(gothicFont(12));
    m_txtEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_txtEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_txtEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Tab moves on to the button: a tab in the text would silently make a
    // line that looks blank into an answer.
    m_txtEdit->setTabChangesFocus(true);

    m_label2 = new QLabel(this);
    m_label2->setObjectName(u"Label2"_s);
    m_label2->setGeometry(twipRect(120, 6720, 3255, 495));
    m_label2->setFont(gothicFont(12));

    auto *ok = new QPushButton(u"編集終了"_s, this);
    ok->setObjectName(u"cmdEditOk"_s);
    ok->setGeometry(twipRect(5160, 6720, 2415, 495));
    ok->setFont(gothicFont(12));
    connect(ok, &QPushButton::clicked, this, &frmTextEdit::cmdEditOk_Click);

    Form_Load();
}

void frmTextEdit::Form_Load()
{
    m_label1->setText(questionnaire::guideText());
    showCount();
    showQuestionnaireText();
}

void frmTextEdit::showCount()
{
    m_label2->setText(questionnaire::questionCountText(m_document.lastQuestion()));
}

void frmTextEdit::showQuestionnaireText()
{
    m_txtEdit->setPlainText(questionnaire::textForEditor(m_document.questionnaireText()));
}

void frmTextEdit::clearText()
{
    m_txtEdit->clear();
}

QString frmTextEdit::editedText() const
{
    // The raw text, not toPlainText(), which turns no-break spaces into
    // plain ones; blocks are separated by paragraph separators there.
    return questionnaire::textFromEditor(m_txtEdit->document()->toRawText());
}

void frmTextEdit::cmdEditOk_Click()
{
    switch (m_document.editOk(editedText())) {
    case questionnaire::QuestionnaireDocument::EditOkResult::Finished:
        hide();
        break;
    case questionnaire::QuestionnaireDocument::EditOkResult::FileNeeded:
        emit fileNeeded();
        break;
    case questionnaire::QuestionnaireDocument::EditOkResult::Failed:
        break; // the user was told; the text stays in the box
    }
}

void frmTextEdit::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted())
        emit discarded();
}

} // namespace teacher::forms
