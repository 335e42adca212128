// Loading a questionnaire from arbitrary bytes.
#include "teacher/questionnaire/Questionnaire.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto encoding = questionnaire::detectEncoding(bytes);
    const QString content = questionnaire::decodeText(bytes, encoding);
    questionnaire::QuestionTable table;
    int lastQuestion = -1;
    QString text;
    questionnaire::loadFromText(content, table, lastQuestion, text);
    if (lastQuestion < 0 || lastQuestion > questionnaire::kLastLoadedRow)
        std::abort();
    for (const QString &field : table[questionnaire::kTableRows - 1]) {
        if (!field.isEmpty())
            std::abort(); // the last row is never written
    }
    for (int row = 0; row <= lastQuestion; ++row) {
        const double count = questionnaire::answerCount(table[row]);
        if (count < 0 || count > 5)
            std::abort();
    }
    if (!text.isEmpty() && !text.endsWith(QStringLiteral("\r\n")))
        std::abort();
    return 0;
}
