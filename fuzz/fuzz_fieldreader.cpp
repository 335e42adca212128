// Reads fields from arbitrary bytes the way both programs read their exchange
// files; the first byte picks the slot kinds.
#include "exchange/Cp932.h"
#include "exchange/FieldReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t kinds = data[0];
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const QString text = exchange::decodeCp932(bytes);
    exchange::FieldReader reader(text);
    qsizetype consumed = 0;
    for (int slot = 0;; ++slot) {
        // Every successful read takes at least one character or a line end,
        // so the number of fields is bounded by the length plus one.
        if (slot > text.size() + 1)
            std::abort();
        const bool number = (kinds >> (slot % 8)) & 1;
        if (number) {
            if (!reader.readNumber())
                break;
        } else {
            const std::optional<QString> field = reader.readText();
            if (!field)
                break;
            if (field->contains(u'\r') || field->contains(u'\n'))
                std::abort(); // a field never spans a line end
            consumed += field->size();
            if (consumed > text.size())
                std::abort();
        }
    }
    return 0;
}
