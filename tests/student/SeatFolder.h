#pragma once

#include "exchange/TextFile.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A fresh working directory with a "Data" folder for one test, made current
// for as long as the object lives.
class SeatFolder
{
public:
    SeatFolder() : m_previous(QDir::currentPath()), m_dir(std::make_unique<QTemporaryDir>())
    {
        QDir::setCurrent(m_dir->path());
        QDir().mkdir(QStringLiteral("Data"));
    }
    ~SeatFolder() { QDir::setCurrent(m_previous); }

    bool isValid() const { return m_dir->isValid(); }

    // The lines joined with CR LF in code page 932, as the teacher writes them.
    static bool writeLines(const QString &path, const QStringList &lines)
    {
        return exchange::writeWholeFile(path, exchange::cp932Lines(lines)).ok;
    }
    static QByteArray read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

private:
    QString m_previous;
    std::unique_ptr<QTemporaryDir> m_dir;
};
