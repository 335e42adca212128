#include "NumberText.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace exchange {
namespace {

bool isIgnorable(QChar ch)
{
    return ch == u' ' || ch == u'\t' || ch == u'\n';
}

bool isAsciiDigit(QChar ch)
{
    return ch >= u'0' && ch <= u'9';
}

// The text with the ignorable characters taken out, as the rule reads it.
QString compact(QStringView text)
{
    QString result;
    result.reserve(text.size());
    for (const QChar ch : text) {
        if (!isIgnorable(ch))
            result.append(ch);
    }
    return result;
}

struct Scan
{
    qsizetype length = 0; // characters that belong to the number, 0 for none
    double value = 0.0;
};

int digitValue(QChar ch)
{
    if (isAsciiDigit(ch))
        return ch.unicode() - u'0';
    if (ch >= u'a' && ch <= u'f')
        return ch.unicode() - u'a' + 10;
    if (ch >= u'A' && ch <= u'F')
        return ch.unicode() - u'A' + 10;
    return -1;
}

Scan scanRadix(const QString &text, int radix)
{
    // text starts with "&H" or "&O"
    Scan scan;
    double value = 0.0;
    qsizetype i = 2;
    for (; i < text.size(); ++i) {
        const int digit = digitValue(text[i]);
        if (digit < 0 || digit >= radix)
            break;
        value = value * radix + digit;
    }
    if (i > 2) {
        scan.length = i;
        scan.value = value;
    }
    return scan;
}

Scan scanDecimal(const QString &text)
{
    Scan scan;
    qsizetype i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    qsizetype digits = 0;
    while (i < text.size() && isAsciiDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < text.size() && text[i] == u'.') {
        qsizetype j = i + 1;
        qsizetype fraction = 0;
        while (j < text.size() && isAsciiDigit(text[j])) {
            ++j;
            ++fraction;
        }
        if (digits > 0 || fraction > 0) {
            i = j;
            digits += fraction;
        }
    }
    if (digits == 0)
        return scan;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        if (j < text.size() && (text[j] == u'+' || text[j] == u'-'))
            ++j;
        const qsizetype start = j;
        while (j < text.size() && isAsciiDigit(text[j]))
            ++j;
        if (j > start)
            i = j;
    }
    // Everything scanned is ASCII, so the Latin-1 form is the same text.
    std::string ascii = text.left(i).toLatin1().toStdString();
    if (!ascii.empty() && ascii.front() == '+')
        ascii.erase(0, 1);
    double value = 0.0;
    const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (error == std::errc::result_out_of_range) {
        // from_chars leaves the value alone; decide between overflow and underflow
        const auto e = ascii.find_first_of("eE");
        const bool tiny = e != std::string::npos && ascii.find('-', e) != std::string::npos;
        const bool negative = !ascii.empty() && ascii.front() == '-';
        value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
        if (negative)
            value = -value;
    }
    (void)end;
    scan.length = i;
    scan.value = value;
    return scan;
}

Scan scanNumber(const QString &text)
{
    if (text.size() >= 2 && text[0] == u'&') {
        const QChar kind = text[1].toUpper();
        if (kind == u'H')
            return scanRadix(text, 16);
        if (kind == u'O')
            return scanRadix(text, 8);
        return {};
    }
    return scanDecimal(text);
}

} // namespace

double readNumber(QStringView text)
{
    return scanNumber(compact(text)).value;
}

bool isNumericText(QStringView text)
{
    const QString compacted = compact(text);
    const Scan scan = scanNumber(compacted);
    return scan.length > 0 && scan.length == compacted.size();
}

bool isWholeNumber(double value)
{
    return std::isfinite(value) && std::trunc(value) == value;
}

QString numberDigits(double value)
{
    if (value == 0.0)
        return QStringLiteral("0"); // also for -0
    if (isWholeNumber(value) && std::fabs(value) < 1e15)
        return QString::number(static_cast<qint64>(value));
    return QString::number(value, 'g', 15);
}

QString signPositionText(double value)
{
    const QString digits = numberDigits(value);
    return digits.startsWith(u'-') ? digits : u' ' + digits;
}

QString numberFieldText(double value)
{
    return signPositionText(value) + u' ';
}

} // namespace exchange
