#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace exchange {

// Result of a file operation: ok, or the reason in the system's words.
struct FileStatus
{
    bool ok = true;
    QString error;

    explicit operator bool() const { return ok; }
    static FileStatus failure(QString reason) { return {false, std::move(reason)}; }
};

// Reads at most maxBytes from the start of a file, opening and closing it in
// the call. Nothing for a file that is missing, is a directory, or cannot be
// read.
std::optional<QByteArray> readFileHead(const QString &path, qint64 maxBytes);

// Rewrites a file whole: create or cut to zero length, write, close. The
// exchange files are rewritten in place like this, never through a rename,
// because the other program may hold them open at any moment.
FileStatus writeWholeFile(const QString &path, const QByteArray &bytes);

// Writes a file through a temporary file that replaces it only when all of
// it is written, so a failed write never destroys the previous contents
// (questionnaires, the answer record).
FileStatus saveFileSafely(const QString &path, const QByteArray &bytes);

// Lines joined with CR LF after each one, encoded in code page 932.
QByteArray cp932Lines(const QStringList &lines);

} // namespace exchange
