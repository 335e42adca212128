#include "Questionnaire.h"

#include "exchange/Cp932.h"
#include "exchange/NumberText.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace questionnaire {
namespace {

constexpr QByteArrayView kUtf8Bom = "\xEF\xBB\xBF";
constexpr char16_t kReplacementCharacter = 0xFFFD;

bool hasNonAscii(QByteArrayView bytes)
{
    return std::any_of(bytes.begin(), bytes.end(),
                       [](char byte) { return static_cast<unsigned char>(byte) > 0x7F; });
}

// A blank line has no characters at all; only a half-width "/" in the very
// first column makes a comment ("　/x" and "／x" are text lines).
bool endsBlock(QStringView line)
{
    return line.isEmpty() || line.front() == u'/';
}

// The first few distinct characters, in order of appearance, that code page
// 932 has no code for (enough to name them in a message). U+FFFD is left out: it stands for bytes
// that were already unreadable when the file was loaded, and writing it as "?" loses nothing more.
QString cp932Unencodable(QStringView text)
{
    constexpr int kMaxNamed = 10;
    QString found;
    int named = 0;
    for (qsizetype i = 0; i < text.size() && named < kMaxNamed;) {
        const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QStringView character = text.sliced(i, length);
        i += length;
        if (character.size() == 1 && character.front() == kReplacementCharacter)
            continue;
        if (!exchange::isCp932Encodable(character) && !found.contains(character)) {
            found += character;
            ++named;
        }
    }
    return found;
}

bool isMarkSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == QChar(0x3000);
}

// 0 to 9 for an ordinary or a full-width digit, -1 for anything else.
int digitValue(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c.unicode() >= 0xFF10 && c.unicode() <= 0xFF19)
        return c.unicode() - 0xFF10;
    return -1;
}

} // namespace

std::optional<int> readCorrectMark(QStringView line)
{
    constexpr QStringView kMark = u"/正解";
    if (!line.startsWith(kMark))
        return std::nullopt;
    qsizetype i = kMark.size();
    const qsizetype afterWord = i;
    while (i < line.size() && isMarkSpace(line[i]))
        ++i;
    if (i < line.size() && i == afterWord && digitValue(line[i]) < 0)
        return std::nullopt;
    int number = 0;
    bool digits = false;
    for (; i < line.size() && digitValue(line[i]) >= 0; ++i) {
        // Any number above the five answers is as wrong as the next.
        number = std::min(number * 10 + digitValue(line[i]), 1000);
        digits = true;
    }
    while (i < line.size() && isMarkSpace(line[i]))
        ++i;
    return digits && i == line.size() ? number : 0;
}

TextEncoding detectEncoding(QByteArrayView bytes)
{
    if (bytes.startsWith(kUtf8Bom))
        return TextEncoding::Utf8WithBom;
    if (hasNonAscii(bytes) && bytes.isValidUtf8())
        return TextEncoding::Utf8;
    return TextEncoding::Cp932;
}

QString decodeText(QByteArrayView bytes, TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8WithBom:
        if (bytes.startsWith(kUtf8Bom))
            bytes = bytes.sliced(kUtf8Bom.size());
        return QString::fromUtf8(bytes);
    case TextEncoding::Utf8:
        return QString::fromUtf8(bytes);
    case TextEncoding::Cp932:
        break;
    }
    return exchange::decodeCp932(bytes);
}

QByteArray encodeText(QStringView text, TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8WithBom:
        return kUtf8Bom.toByteArray() + text.toUtf8();
    case TextEncoding::Utf8:
        return text.toUtf8();
    case TextEncoding::Cp932:
        break;
    }
    return exchange::encodeCp932(text);
}

void clearTable(QuestionTable &table, int &lastQuestion, QString &questionnaireText)
{
    lastQuestion = 0;
    for (int row = 0; row <= kLastLoadedRow; ++row)
        table[row].fill(QString());
    questionnaireText.clear();
}

// Two counters drive the loading: n counts the text lines of the current
// block, m is the field of the current row written last. A new block moves to
// the next row only when the block before it kept at least two answers
// (m >= 2); otherwise it is written over the same row, and fields it does not
// reach keep the earlier block's text. For example
//     Q1 / A1 / (blank) / Q2
// leaves row 0 as Q2, A1 with answer count 0. Once row 30 is reached every
// further block goes over row 30.
void loadFromText(const QString &content, QuestionTable &table, int &lastQuestion,
                  QString &questionnaireText, CorrectMarks *marks)
{
    qsizetype n = 0;
    int m = 0;
    CorrectMarks ownMarks;
    CorrectMarks &found = marks ? *marks : ownMarks;
    found = {};
    // The line of the mark each row holds, for the reports.
    std::array<int, kTableRows> markLine{};
    int lineNumber = 0;
    bool blockSeen = false;
    const auto report = [&](int line, const QString &text) {
        found.problems << u"%1行目：%2"_s.arg(line).arg(text);
    };
    const auto readMark = [&](QStringView line) {
        const std::optional<int> mark = readCorrectMark(line);
        if (!mark)
            return;
        const QString quoted = u"「"_s + line.toString() + u"」"_s;
        if (!blockSeen) {
            report(lineNumber, quoted + u"の前に質問がありません。この行は使いません。"_s);
            return;
        }
        // The block before the mark has ended (the mark ends it): m is its
        // number of answers.
        if (*mark < 1 || *mark > m) {
            report(lineNumber, quoted + u"は、この質問の答えの番号（答えは%1つ）ではありません。"
                                        u"この行は使いません。正解の行は答えの行のすぐ後に書きます。"_s
                                            .arg(m));
            return;
        }
        int &answer = found.answer[lastQuestion];
        if (answer != 0) {
            report(lineNumber, u"この質問の正解は %1行目にもあります。後の%2を使います。"_s
                                   .arg(markLine[lastQuestion])
                                   .arg(quoted));
        }
        answer = *mark;
        markLine[lastQuestion] = lineNumber;
    };

    clearTable(table, lastQuestion, questionnaireText);
    questionnaireText.reserve(content.size() + content.size() / 8 + 2);

    const auto storeAnswerCount = [&](int count) {
        table[lastQuestion][kAnswerCountField] = exchange::signPositionText(count);
    };

    const qsizetype size = content.size();
    qsizetype start = 0;
    while (start < size) {
        qsizetype end = start;
        while (end < size && content[end] != u'\r' && content[end] != u'\n')
            ++end;
        const QStringView line = QStringView(content).sliced(start, end - start);
        // The line ends at CR LF, a lone CR or a lone LF. A file that ends
        // with a line end has no empty line after it.
        start = end;
        if (end < size) {
            start = end + 1;
            if (content[end] == u'\r' && start < size && content[start] == u'\n')
                ++start;
        }

        questionnaireText += line;
        questionnaireText += u"\r\n";
        ++lineNumber;

        if (endsBlock(line)) {
            readMark(line);
            n = 0;
            continue;
        }
        if (n == 0) {
            if (m >= 2) {
                storeAnswerCount(m);
                lastQuestion = std::min(lastQuestion + 1, kLastLoadedRow);
            }
            // A row taken over by this block loses the mark of the question
            // it held.
            if (found.answer[lastQuestion] != 0) {
                report(markLine[lastQuestion],
                       u"この正解の質問は、次の質問に置き換わりました（答えが2つ未満か、質問が31を"
                       u"超えています）。この行は使いません。"_s);
                found.answer[lastQuestion] = 0;
            }
            blockSeen = true;
        }
        if (n <= kMaxAnswers) {
            table[lastQuestion][n] = line.toString();
            m = static_cast<int>(n);
        }
        ++n;
    }
    storeAnswerCount(m);
}

LoadResult loadFile(const QString &path, QuestionTable &table, int &lastQuestion,
                    QString &questionnaireText)
{
    clearTable(table, lastQuestion, questionnaireText);

    // One byte beyond the limit tells a file that is too large; a pipe, a
    // device or a folder chosen or planted under the name is refused without
    // waiting on it.
    QString reason;
    const std::optional<QByteArray> bytes =
        exchange::readFileHead(path, kMaxFileBytes + 1, &reason);
    if (!bytes)
        return {exchange::FileStatus::failure(reason), TextEncoding::Cp932, {}, {}};
    if (bytes->size() > kMaxFileBytes) {
        return {exchange::FileStatus::failure(
            u"ファイルが大きすぎます（%1 MiB まで読み込めます）。"_s.arg(kMaxFileBytes >> 20)),
                TextEncoding::Cp932, {}, {}};
    }

    const TextEncoding encoding = detectEncoding(*bytes);
    CorrectMarks marks;
    loadFromText(decodeText(*bytes, encoding), table, lastQuestion, questionnaireText, &marks);
    // Only what reaches the seats matters; a comment may hold anything.
    QString published;
    for (int row = 0; row <= lastQuestion; ++row) {
        for (int field = 0; field <= kMaxAnswers; ++field)
            published += table[row][field];
    }
    return {{}, encoding, cp932Unencodable(published), marks};
}

exchange::FileStatus saveFile(const QString &path, const QString &questionnaireText,
                              TextEncoding encoding)
{
    const QString text = questionnaireText + u"\r\n"_s;
    if (encoding == TextEncoding::Cp932) {
        const QString unencodable = cp932Unencodable(text);
        if (!unencodable.isEmpty()) {
            return exchange::FileStatus::failure(
                u"シフトJIS（コードページ932）で書けない文字があります：「%1」"_s.arg(unencodable));
        }
    }
    return exchange::saveFileSafely(path, encodeText(text, encoding));
}

QString questionnairePath(const QString &dir, const QString &fileName)
{
    return dir + u'/' + fileName;
}

double answerCount(const QuestionRow &row)
{
    return exchange::readNumber(row[kAnswerCountField]);
}

} // namespace questionnaire
