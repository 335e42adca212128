#include "QuestionnaireDocument.h"

#include "exchange/NumberText.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace questionnaire {

// ------------------------------------------------------------ editor texts

QString guideText()
{
    static const QStringList lines = {
        u"アンケート文の書き方"_s,
        u""_s,
        u"コンピュータを使うことが得意ですか？　　　←アンケート文"_s,
        u"はい　　　　　　　　　　　　　　　　　　　←回答１"_s,
        u"いいえ　　　　　　　　　　　　　　　　　　←回答２"_s,
        u"どちらでもない　　　　　　　　　　　　　　←回答３"_s,
        u"　　　　　　　　　　←次のアンケート間は改行だけ"_s,
        u"/コメント文 　　　　←半角/ で始まる行はコメント行（表示されない）"_s,
        u"/回答数は２～５にして下さい。（６以上は表示しません）"_s,
        u"/アンケートの項目は最大３０まで。"_s,
    };
    return lines.join(u'\r');
}

QString questionCountText(int lastQuestion)
{
    return u"アンケート数　"_s + exchange::signPositionText(lastQuestion + 1) + u"問"_s;
}

QString textForEditor(QStringView questionnaireText)
{
    // Only CR and LF count here: other separators are text the file held. A
    // text document would take a paragraph separator for a line break of its
    // own, so it stands in the box as kHeldParagraphSeparator.
    QString text = questionnaireText.toString();
    text.replace(u"\r\n"_s, u"\n"_s);
    text.replace(u'\r', u'\n');
    text.replace(QChar::ParagraphSeparator, kHeldParagraphSeparator);
    return text;
}

QString textFromEditor(QStringView editorText)
{
    QString text;
    text.reserve(editorText.size() + editorText.size() / 16);
    for (qsizetype i = 0; i < editorText.size(); ++i) {
        const QChar c = editorText[i];
        if (c == kHeldParagraphSeparator) {
            text += QChar::ParagraphSeparator;
        } else if (c == u'\r' || c == u'\n' || c == QChar::ParagraphSeparator) {
            text += u"\r\n"_s;
            if (c == u'\r' && i + 1 < editorText.size() && editorText[i + 1] == u'\n')
                ++i;
        } else {
            text += c;
        }
    }
    return text;
}

// ------------------------------------------------------- folders and files

QStringList driveRoots()
{
    QStringList roots;
    for (const QFileInfo &drive : QDir::drives())
        roots << drive.absoluteFilePath();
    if (roots.isEmpty())
        roots << QDir::rootPath();
    return roots;
}

QString driveOf(const QString &path, const QStringList &drives)
{
    QString best;
    for (const QString &drive : drives) {
        // "C:" alone lies on "C:/" too.
        const bool onDrive =
            path.startsWith(drive, Qt::CaseInsensitive) ||
            (drive.size() > 1 && drive.endsWith(u'/') &&
             path.compare(QStringView(drive).chopped(1), Qt::CaseInsensitive) == 0);
        if (onDrive && drive.size() > best.size())
            best = drive;
    }
    if (!best.isEmpty())
        return best;
    if (path.startsWith(u"//"_s)) {
        // "//server/share/..." : the share is the root.
        const QStringList parts = path.mid(2).split(u'/');
        if (parts.size() >= 2 && !parts[0].isEmpty() && !parts[1].isEmpty())
            return u"//"_s + parts[0] + u'/' + parts[1] + u'/';
    }
    return u"/"_s;
}

QStringList ancestorPaths(const QString &dir, const QString &drive)
{
    QStringList paths{drive};
    QString path = drive;
    const QStringList parts = dir.mid(drive.size()).split(u'/', Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        if (!path.endsWith(u'/'))
            path += u'/';
        path += part;
        paths << path;
    }
    return paths;
}

bool canListDirectory(const QString &dir)
{
    const QFileInfo info(dir);
    if (!info.isDir() || !info.isReadable())
        return false;
#ifdef Q_OS_UNIX
    // Without search permission the entries are named but cannot be looked at.
    if (!info.isExecutable())
        return false;
#endif
    return true;
}

QStringList listSubdirectories(const QString &dir)
{
    return QDir(dir).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
}

namespace {

bool sameChar(QChar a, QChar b)
{
    return a == b || a.toCaseFolded() == b.toCaseFolded();
}

// "*" and "?" only: a name holds no character classes on the systems whose
// lists this chooser stands for.
bool matchesWildcard(QStringView name, QStringView pattern)
{
    qsizetype n = 0, p = 0;
    qsizetype starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == u'?' || sameChar(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

} // namespace

bool matchesFilePattern(QStringView fileName, QStringView pattern)
{
    if (pattern.trimmed().isEmpty())
        return true;
    for (QStringView part : pattern.split(u';')) {
        part = part.trimmed();
        if (part.isEmpty())
            continue;
        if (part == u"*.*" || matchesWildcard(fileName, part))
            return true;
    }
    return false;
}

QStringList listFiles(const QString &dir, QStringView pattern)
{
    QStringList matching;
    const QStringList names = QDir(dir).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
    for (const QString &name : names) {
        if (matchesFilePattern(name, pattern))
            matching << name;
    }
    return matching;
}

// ------------------------------------------------------------- procedures

QuestionnaireDocument::QuestionnaireDocument(DocumentPrompter &prompter) : m_prompter(prompter) {}

QString QuestionnaireDocument::questionnairePath() const
{
    return questionnaire::questionnairePath(QuestionnaireDir, QuestionnaireFileName);
}

bool QuestionnaireDocument::SFileLoad()
{
    const QString path = questionnairePath();
    const LoadResult result = loadFile(path, QuestionTable, LastQuestion, QuestionnaireText);
    CorrectAnswer = result.marks.answer;
    emit tableReplaced();
    if (!result.status.ok) {
        m_prompter.questionnaireLoadFailed(exchange::nativePath(path), result.status.error);
        return false;
    }
    m_encoding = result.encoding;
    m_readFrom = path;
    m_isNew = false;
    if (!result.unencodable.isEmpty())
        m_prompter.questionnaireUnencodable(exchange::nativePath(path), result.unencodable);
    if (!result.marks.problems.isEmpty())
        m_prompter.questionnaireMarksReported(exchange::nativePath(path), result.marks.problems);
    return true;
}

bool QuestionnaireDocument::SFileSave()
{
    const QString path = questionnairePath();
    // A file saved back keeps the encoding it was read in; any other file is
    // written in code page 932.
    const TextEncoding encoding = path == m_readFrom ? m_encoding : TextEncoding::Cp932;
    const exchange::FileStatus status = saveFile(path, QuestionnaireText, encoding);
    if (!status.ok) {
        m_prompter.questionnaireSaveFailed(exchange::nativePath(path), status.error);
        return false;
    }
    m_isNew = false;
    return true;
}

void QuestionnaireDocument::startNew()
{
    SaveMode = false;
    LastQuestion = 0;
    QuestionnaireText.clear();
    CorrectAnswer.fill(0);
    for (int row = 0; row <= kLastLoadedRow; ++row) {
        for (int field = 0; field <= kMaxAnswers; ++field)
            QuestionTable[row][field].clear();
    }
    m_isNew = true;
    emit tableReplaced();
}

void QuestionnaireDocument::rememberLocation(const ShownLocation &shown)
{
    QuestionnaireDrive = shown.drive;
    QuestionnaireDir = shown.dir;
    QuestionnaireFileName = shown.selectedFile;
}

bool QuestionnaireDocument::canSaveInPlace() const
{
    return !m_confirmed.selectedFile.isEmpty() && !m_isNew;
}

QuestionnaireDocument::FileOkResult QuestionnaireDocument::fileOk(const ShownLocation &shown,
                                                                  const QString &typedName)
{
    // The location is taken first, so an OK that stops below still leaves
    // QuestionnaireFileName empty.
    rememberLocation(shown);

    if (!SaveMode) {
        if (QuestionnaireFileName.isEmpty())
            return FileOkResult::Stayed;
        m_editorWaits = false;
        if (!SFileLoad())
            return FileOkResult::Failed;
        m_confirmed = {QuestionnaireDrive, QuestionnaireDir, QuestionnaireFileName};
        return FileOkResult::Loaded;
    }

    // A selected file wins over the typed name, which is used as typed.
    if (QuestionnaireFileName.isEmpty())
        QuestionnaireFileName = typedName;
    if (QuestionnaireFileName.isEmpty())
        return FileOkResult::Stayed;

    // The editor's "編集終了" is waiting for this name: what is in its box
    // now is what the teacher wants written, edits made meanwhile included.
    const std::optional<QString> edited =
        m_editorWaits && editorText ? editorText() : std::optional<QString>();
    const QString loadedText = QuestionnaireText;
    if (edited) {
        QuestionnaireText = *edited;
        if (edited->isEmpty()) {
            m_editorWaits = false;
            return FileOkResult::EditorFinished;
        }
    }
    if (!SFileSave()) {
        // The editor's text keeps waiting in the editor; in memory the
        // questionnaire stays the one the question table was read from.
        if (edited)
            QuestionnaireText = loadedText;
        return FileOkResult::Failed;
    }
    m_confirmed = {QuestionnaireDrive, QuestionnaireDir, QuestionnaireFileName};
    if (!edited)
        return FileOkResult::Saved;
    m_editorWaits = false;
    // Written but not read back: the editor stays up with its text.
    return SFileLoad() ? FileOkResult::EditorFinished : FileOkResult::Saved;
}

QuestionnaireDocument::EditOkResult QuestionnaireDocument::editOk(const QString &text)
{
    if (text.isEmpty()) {
        QuestionnaireText.clear();
        return EditOkResult::Finished;
    }
    if (!canSaveInPlace()) {
        // The text stays in the editor until the chooser's OK takes it, so
        // that QuestionnaireText still matches the question table if the wait
        // is cancelled.
        m_editorWaits = true;
        return EditOkResult::FileNeeded;
    }
    QuestionnaireText = text;
    rememberLocation(m_confirmed);
    return SFileSave() && SFileLoad() ? EditOkResult::Finished : EditOkResult::Failed;
}

} // namespace questionnaire
