#include "MessageSeam.h"

namespace student::forms {

MessageBoxSeam::~MessageBoxSeam()
{
    delete m_notice;
}

void MessageBoxSeam::message(QWidget *parent, const QString &title, const QString &text,
                             QMessageBox::Icon icon)
{
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void MessageBoxSeam::notice(QWidget *parent, const QString &title, const QString &text)
{
    if (text.isEmpty()) {
        delete m_notice;
        return;
    }
    if (!m_notice) {
        m_notice = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
        m_notice->setTextFormat(Qt::PlainText);
        m_notice->setModal(false);
        m_notice->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_notice->setWindowTitle(title);
    m_notice->setText(text);
    m_notice->show();
}

} // namespace student::forms
