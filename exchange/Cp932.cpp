#include "Cp932.h"

#include "Cp932Table.h"

#include <array>
#include <cstdint>

namespace exchange {
namespace {

using detail::kCp932DoubleByte;
using detail::kCp932LeadCount;
using detail::kCp932TrailCount;

constexpr char16_t kReplacement = 0xFFFD;

int leadIndex(unsigned char byte)
{
    if (byte >= 0x81 && byte <= 0x9F)
        return byte - 0x81;
    if (byte >= 0xE0 && byte <= 0xFC)
        return 31 + (byte - 0xE0);
    return -1;
}

unsigned char leadByte(int index)
{
    return static_cast<unsigned char>(index < 31 ? 0x81 + index : 0xE0 + (index - 31));
}

// Single bytes: ASCII as is, half-width katakana 0xA1-0xDF; 0x80, 0xA0 and
// 0xFD-0xFF are not defined.
char16_t singleByte(unsigned char byte)
{
    if (byte < 0x80)
        return byte;
    if (byte >= 0xA1 && byte <= 0xDF)
        return static_cast<char16_t>(0xFF61 + (byte - 0xA1));
    return 0;
}

// Unicode code unit -> bytes (high byte 0 for a single byte); 0 for none.
struct EncodeTable
{
    std::array<std::uint16_t, 0x10000> code{};

    EncodeTable()
    {
        for (unsigned byte = 0; byte < 0x100; ++byte) {
            const char16_t unit = singleByte(static_cast<unsigned char>(byte));
            if (unit != 0 || byte == 0)
                code[unit] = static_cast<std::uint16_t>(byte);
        }
        // Two passes: first everything outside the NEC-selected IBM rows, then
        // those rows for characters that have no other code. Within a pass the
        // lowest code wins, which is the code Windows writes.
        for (int pass = 0; pass < 2; ++pass) {
            for (int lead = 0; lead < kCp932LeadCount; ++lead) {
                const unsigned char leadValue = leadByte(lead);
                const bool necSelected = leadValue == 0xED || leadValue == 0xEE;
                if (necSelected != (pass == 1))
                    continue;
                for (int trail = 0; trail < kCp932TrailCount; ++trail) {
                    const char16_t unit = kCp932DoubleByte[lead][trail];
                    if (unit == 0 || code[unit] != 0)
                        continue;
                    code[unit] = static_cast<std::uint16_t>((leadValue << 8) | (0x40 + trail));
                }
            }
        }
        code[0x301C] = code[0xFF5E];
        code[0x2016] = code[0x2225];
        code[0x2212] = code[0xFF0D];
        code[0x00A2] = code[0xFFE0];
        code[0x00A3] = code[0xFFE1];
        code[0x00AC] = code[0xFFE2];
    }
};

const EncodeTable &encodeTable()
{
    static const EncodeTable table;
    return table;
}

} // namespace

QString decodeCp932(QByteArrayView bytes)
{
    QString text;
    text.reserve(bytes.size());
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        const int lead = leadIndex(byte);
        if (lead < 0) {
            const char16_t unit = singleByte(byte);
            text.append(unit != 0 || byte == 0 ? QChar(unit) : QChar(kReplacement));
            continue;
        }
        if (i + 1 < size) {
            const auto trail = static_cast<unsigned char>(bytes[i + 1]);
            if (trail >= 0x40) {
                const char16_t unit = kCp932DoubleByte[lead][trail - 0x40];
                if (unit != 0) {
                    text.append(QChar(unit));
                    ++i;
                    continue;
                }
            }
        }
        text.append(QChar(kReplacement));
    }
    return text;
}

QByteArray encodeCp932(QStringView text)
{
    const EncodeTable &table = encodeTable();
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text[i + 1].unicode())) {
            bytes.append('?');
            ++i;
            continue;
        }
        const std::uint16_t code = table.code[unit];
        if (code == 0 && unit != 0) {
            bytes.append('?');
        } else if (code > 0xFF) {
            bytes.append(static_cast<char>(code >> 8));
            bytes.append(static_cast<char>(code & 0xFF));
        } else {
            bytes.append(static_cast<char>(code));
        }
    }
    return bytes;
}

bool isCp932Encodable(QStringView text)
{
    const EncodeTable &table = encodeTable();
    for (const QChar ch : text) {
        if (ch.unicode() != 0 && table.code[ch.unicode()] == 0)
            return false;
    }
    return true;
}

} // namespace exchange
