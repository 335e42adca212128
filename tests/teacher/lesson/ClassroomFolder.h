#pragma once

#include "exchange/Cp932.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// A temporary classroom folder that is the working directory while it lives.
class ClassroomFolder
{
public:
    ClassroomFolder() : m_previous(QDir::currentPath()) { QDir::setCurrent(m_dir.path()); }
    ~ClassroomFolder() { QDir::setCurrent(m_previous); }

    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

    static QByteArray read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    static void write(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(bytes);
    }
    // A questionnaire written in code page 932 with CR LF line ends.
    void writeQuestionnaire(const QString &name, const QString &text) const
    {
        QString crlf = text;
        crlf.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
        write(filePath(name), exchange::encodeCp932(crlf));
    }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};
