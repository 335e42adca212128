#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>

class QWidget;

namespace student::forms {

// How the forms tell the pupil something. The program shows real message
// boxes; tests put in their own to read the texts without a modal loop.
class MessageSeam
{
public:
    virtual ~MessageSeam() = default;

    // A modal message with only an OK button; returns once it is closed.
    virtual void message(QWidget *parent, const QString &title, const QString &text,
                         QMessageBox::Icon icon) = 0;
    // A message beside the window that does not block it (the window keeps
    // polling); a new text replaces the shown one, an empty text removes it.
    virtual void notice(QWidget *parent, const QString &title, const QString &text) = 0;
};

class MessageBoxSeam : public MessageSeam
{
public:
    ~MessageBoxSeam() override;

    void message(QWidget *parent, const QString &title, const QString &text,
                 QMessageBox::Icon icon) override;
    void notice(QWidget *parent, const QString &title, const QString &text) override;

private:
    QPointer<QMessageBox> m_notice;
};

} // namespace student::forms
