#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace exchange {

// Code page 932 (Shift_JIS as Windows writes it), independent of the codecs
// Qt was built with.
//
// Decoding follows Microsoft's table. A byte or pair the table does not
// define becomes U+FFFD; for a lead byte followed by a byte that does not
// complete a defined pair only the lead byte is replaced and the next byte
// is read anew, so "\x81\x20" gives U+FFFD and a blank.
QString decodeCp932(QByteArrayView bytes);

// Encoding writes only bytes the table defines. Where a character has several
// codes the one Windows writes is chosen (NEC-selected IBM rows 0xED/0xEE
// only when nothing else exists). The look-alikes that other systems' input
// methods produce are written as their code page 932 counterparts:
//   U+301C WAVE DASH        -> 0x8160 (as U+FF5E)
//   U+2016 DOUBLE VERTICAL  -> 0x8161 (as U+2225)
//   U+2212 MINUS SIGN       -> 0x817C (as U+FF0D)
//   U+00A2, U+00A3, U+00AC  -> 0x8191, 0x8192, 0x81CA (as U+FFE0, U+FFE1, U+FFE2)
// Every other character without a code becomes one "?" (a surrogate pair too).
QByteArray encodeCp932(QStringView text);

// True when every character of text has a code of its own in code page 932
// (the look-alikes above count as encodable).
bool isCp932Encodable(QStringView text);

} // namespace exchange
