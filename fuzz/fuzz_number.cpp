// The number-reading rule on arbitrary text.
#include "exchange/Cp932.h"
#include "exchange/NumberText.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = exchange::decodeCp932(bytes);
    const double value = exchange::readNumber(text);
    if (std::isnan(value))
        std::abort();
    // A numeric text reads back the same after being written in the
    // exchange form, as long as it is a whole number of sensible size.
    if (exchange::isWholeNumber(value) && std::fabs(value) < 1e15) {
        const double again = exchange::readNumber(exchange::numberFieldText(value));
        if (again != value)
            std::abort();
        if (!exchange::isNumericText(exchange::numberFieldText(value)))
            std::abort();
    }
    if (exchange::isNumericText(text) && text.trimmed().isEmpty())
        std::abort();
    return 0;
}
