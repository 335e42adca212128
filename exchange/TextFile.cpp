#include "TextFile.h"

#include "Cp932.h"

#include <QFile>
#include <QSaveFile>

namespace exchange {

std::optional<QByteArray> readFileHead(const QString &path, qint64 maxBytes)
{
    // QFile refuses to open a directory, so no separate check is needed.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.read(maxBytes);
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

FileStatus writeWholeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return FileStatus::failure(file.errorString());
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.close();
        return FileStatus::failure(reason);
    }
    file.close();
    if (file.error() != QFileDevice::NoError)
        return FileStatus::failure(file.errorString());
    return {};
}

FileStatus saveFileSafely(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return FileStatus::failure(file.errorString());
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return FileStatus::failure(reason);
    }
    if (!file.commit())
        return FileStatus::failure(file.errorString());
    return {};
}

QByteArray cp932Lines(const QStringList &lines)
{
    QString text;
    for (const QString &line : lines) {
        text += line;
        text += u"\r\n";
    }
    return encodeCp932(text);
}

} // namespace exchange
