// What both halves of TextFile.h share: the reasons given for a failure, the
// count of a share not answering, the guarded rewrite in two openings, and
// the plain conversions. The POSIX half is TextFile_unix.cpp, the Windows
// half TextFile_win.cpp.
#include "TextFile.h"
#include "TextFile_p.h"

#include "Cp932.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <atomic>

using namespace Qt::StringLiterals;

namespace exchange {
namespace {

std::atomic<quint64> g_notAnswering{0};

} // namespace

namespace detail {

QString notRegularReason()
{
    return u"通常のファイルではありません（パイプ、ソケット、デバイスまたはフォルダ）。"_s;
}

QString folderInTheWayReason()
{
    return u"同じ名前のフォルダがあるため、ファイルを書けません。"_s;
}

QString folderNotFolderReason(const QString &folder)
{
    return u"フォルダ「%1」がフォルダではなく、リンクなどに置き換えられています。"_s.arg(folder);
}

QString keptReplacedReason()
{
    return u"ファイルが書き込みの間に何度も別のものに差し替えられました。"_s;
}

// An error that means the share did not answer, or the connection to it is
// lost: said as such, and counted for the windows' notice.
QString notAnsweringReason(const QString &system)
{
    g_notAnswering.fetch_add(1, std::memory_order_relaxed);
    return u"共有フォルダのファイルサーバーが応答しないか、接続が切れています（%1）。"_s.arg(system);
}

std::optional<QByteArray> failed(QString *error, QString reason)
{
    if (error)
        *error = std::move(reason);
    return std::nullopt;
}

QString temporarySuffix()
{
    return u".%1.tmp"_s.arg(QRandomGenerator::global()->generate(), 8, 16, QChar(u'0'));
}

GuardedRewrite notExpected()
{
    return {GuardedRewrite::Outcome::NotExpected, {}};
}

GuardedRewrite rewriteFailed(QString reason)
{
    return {GuardedRewrite::Outcome::Failed, std::move(reason)};
}

GuardedRewrite rewriteDone(const FileStatus &status)
{
    return status ? GuardedRewrite{} : rewriteFailed(status.error);
}

// guardedRewrite where the file share refuses to open an existing file for
// reading and writing without cutting it (some SMB clients do): the look and
// the write are then two openings, readFileHead and writeWholeFile. A version
// written between the two is overwritten, so this guards less than one
// opening does, but it still writes only where a look has just found what the
// caller expected, and never where a look found nothing of this name's own.
GuardedRewrite rewriteAfterLook(const QString &path, qint64 readLimit, const ContentCheck &expected,
                                const QByteArray &bytes)
{
    if (!isOwnRegularFile(path))
        return notExpected();
    QString error;
    const std::optional<QByteArray> held = readFileHead(path, readLimit, &error);
    if (!held)
        return rewriteFailed(error);
    if (!expected(*held))
        return notExpected();
    return rewriteDone(writeWholeFile(path, bytes));
}

} // namespace detail

quint64 shareNotAnsweringCount()
{
    return g_notAnswering.load(std::memory_order_relaxed);
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

QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

} // namespace exchange
