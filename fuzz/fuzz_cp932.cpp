// Decoding then encoding: whatever comes in, only defined bytes go out, and
// text that came from defined bytes survives the round trip.
#include "exchange/Cp932.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = exchange::decodeCp932(bytes);
    const QByteArray written = exchange::encodeCp932(text);
    const QString reread = exchange::decodeCp932(written);
    if (reread.contains(QChar(0xFFFD)))
        std::abort(); // an undefined byte was written
    QString expected = text;
    expected.replace(QChar(0xFFFD), u'?');
    if (reread != expected)
        std::abort();
    // Encoding text that is already in code page 932 changes no byte.
    if (exchange::encodeCp932(reread) != written)
        std::abort();
    // Arbitrary UTF-16 (the same bytes read as code units) encodes safely too.
    const QString units(reinterpret_cast<const QChar *>(data), qsizetype(size / 2));
    if (exchange::decodeCp932(exchange::encodeCp932(units)).contains(QChar(0xFFFD)))
        std::abort();
    return 0;
}
