#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
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

// Every file below is one that anybody on the classroom's share may have
// replaced: by a named pipe (whose open would wait for a writer for good), a
// socket, a device, a folder, or a link to a file elsewhere.

// Reads at most maxBytes from the start of a regular file, opening and
// closing it in the call. The open never waits: anything but a regular file
// (a pipe, socket, device or folder, also when reached through a link) gives
// nothing, as a missing or unreadable file does; error, when given, receives
// the reason.
std::optional<QByteArray> readFileHead(const QString &path, qint64 maxBytes,
                                       QString *error = nullptr);

// Whether path names a regular file of its own: not a link, junction, pipe,
// device or folder, and no second name of another file.
bool isOwnRegularFile(const QString &path);

// Rewrites a file whole: create or cut to zero length, write, close. The
// exchange files are rewritten in place like this, never through a rename,
// because the other program may hold them open at any moment. The write
// never goes through a link: a link, pipe, socket or device at path (or a
// second name of the same file) is removed and a regular file written in its
// place, as these names belong to the programs. A folder in the way fails,
// and so does a folder holding the file that is itself a link (on POSIX
// systems): the folder Data replaced by a link to a folder elsewhere.
FileStatus writeWholeFile(const QString &path, const QByteArray &bytes);

// The folder of a batch of writeWholeFile calls, opened once for all of them
// (opening a folder on a file share costs a round trip per file otherwise):
// the folder that holds fileInFolder, as writeWholeFile checks it. A folder
// replaced by a link after the opening gets no write, which goes on in the
// folder opened. Its writes may run on several threads at once.
class HeldFolder
{
public:
    explicit HeldFolder(const QString &fileInFolder);
    ~HeldFolder();
    HeldFolder(const HeldFolder &) = delete;
    HeldFolder &operator=(const HeldFolder &) = delete;

    // Why the folder could not be opened; ok when it was.
    const FileStatus &status() const { return m_status; }
    // writeWholeFile of a file in the folder (one elsewhere is written as
    // writeWholeFile does); the folder's failure when it could not be opened.
    FileStatus writeWholeFile(const QString &path, const QByteArray &bytes) const;

private:
    QString m_folder;
    FileStatus m_status;
    std::intptr_t m_handle = -1;
};

// What guardedRewrite did.
struct GuardedRewrite
{
    enum class Outcome {
        Written,
        // The file did not hold what the caller expected, or was missing, or
        // was not this name's own regular file: nothing was written.
        NotExpected,
        // The file could not be opened, read or written; error says why.
        Failed,
    };
    Outcome outcome = Outcome::Written;
    QString error;
};

// Judges the bytes a file holds (at most the read limit from its start).
using ContentCheck = std::function<bool(const QByteArray &)>;

// Rewrites an existing file only while it holds what the caller expects:
// opens it once for reading and writing without cutting it, reads at most
// readLimit bytes, and only when expected accepts them cuts it to zero length
// and writes bytes through that same opening. A version another program wrote
// while the open was under way (which takes seconds on a slow share) is thus
// judged, never overwritten unseen. Never creates a file, and never
// writes through a link, junction, pipe, socket, device or second name: any
// of these at path, like a missing file, is NotExpected, and the predicate is
// not asked. A folder holding the file that is itself a link fails, as with
// writeWholeFile.
GuardedRewrite guardedRewrite(const QString &path, qint64 readLimit, const ContentCheck &expected,
                              const QByteArray &bytes);

// Writes a file through a temporary file that replaces it only when all of
// it is written, so a failed write never destroys the previous contents
// (questionnaires, the answer record). A link at path is replaced, never
// written through; the temporary name is made fresh and never follows a link.
// A folder in the way fails.
FileStatus saveFileSafely(const QString &path, const QByteArray &bytes);

// How many times a file operation has found that the share did not answer
// (or the connection to it was lost), in any thread since the start. Such a
// failure's reason says so.
quint64 shareNotAnsweringCount();

// Whether the system says there is nothing at path (not: it could not look).
bool isMissing(const QString &path);

// A path as a message names it to the user: absolute, with the system's
// separators (C:\\授業\\Kiroku.csv on Windows).
QString nativePath(const QString &path);

// Lines joined with CR LF after each one, encoded in code page 932.
QByteArray cp932Lines(const QStringList &lines);

} // namespace exchange
