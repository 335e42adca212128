#pragma once

// What the POSIX half (TextFile_unix.cpp) and the Windows half
// (TextFile_win.cpp) of TextFile.h share: the reasons given for a failure,
// the outcomes of a guarded rewrite, and the rewrite in two openings for
// shares that refuse the one. Only those three files include this.

#include "TextFile.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace exchange::detail {

// A name whose thing is swapped for something else again and again between
// the look and the open is given up after a few rounds.
constexpr int kReplaceAttempts = 4;
// Fresh temporary names tried before giving up.
constexpr int kTemporaryNameAttempts = 16;
constexpr qint64 kReadChunkBytes = 1 << 16;

QString notRegularReason();
QString folderInTheWayReason();
QString folderNotFolderReason(const QString &folder);
QString keptReplacedReason();
// An error that means the share did not answer, or the connection to it is
// lost: said as such, and counted for shareNotAnsweringCount().
QString notAnsweringReason(const QString &system);

// Sets *error (when given) to reason; returns no bytes.
std::optional<QByteArray> failed(QString *error, QString reason);
// ".XXXXXXXX.tmp": a fresh suffix for a temporary name beside a file.
QString temporarySuffix();

GuardedRewrite notExpected();
GuardedRewrite rewriteFailed(QString reason);
GuardedRewrite rewriteDone(const FileStatus &status);
// guardedRewrite in two openings, a look and a write (see TextFile.cpp).
GuardedRewrite rewriteAfterLook(const QString &path, qint64 readLimit, const ContentCheck &expected,
                                const QByteArray &bytes);

} // namespace exchange::detail
