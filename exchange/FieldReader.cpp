#include "FieldReader.h"

#include "Cp932.h"
#include "TextFile.h"

#include "NumberText.h"

namespace exchange {

FieldReader::FieldReader(QString text) : m_text(std::move(text)), m_open(true) {}

FieldReader FieldReader::fromFile(const QString &path, qint64 maxBytes)
{
    const std::optional<QByteArray> bytes = readFileHead(path, maxBytes);
    if (!bytes)
        return FieldReader();
    return FieldReader(decodeCp932(*bytes));
}

bool FieldReader::atLineEnd() const
{
    return m_pos < m_text.size() && (m_text[m_pos] == u'\r' || m_text[m_pos] == u'\n');
}

void FieldReader::consumeLineEnd()
{
    if (m_pos < m_text.size() && m_text[m_pos] == u'\r')
        ++m_pos;
    if (m_pos < m_text.size() && m_text[m_pos] == u'\n')
        ++m_pos;
}

std::optional<QString> FieldReader::readText()
{
    if (!m_open)
        return std::nullopt;
    while (m_pos < m_text.size() && (m_text[m_pos] == u' ' || m_text[m_pos] == u'\t'))
        ++m_pos;
    if (m_pos >= m_text.size())
        return std::nullopt;

    QString value;
    if (m_text[m_pos] == u'"') {
        ++m_pos;
        const qsizetype start = m_pos;
        while (m_pos < m_text.size() && m_text[m_pos] != u'"' && !atLineEnd())
            ++m_pos;
        value = m_text.mid(start, m_pos - start);
        if (m_pos < m_text.size() && m_text[m_pos] == u'"')
            ++m_pos;
        // whatever follows the closing quote belongs to no field
        while (m_pos < m_text.size() && m_text[m_pos] != u',' && !atLineEnd())
            ++m_pos;
    } else {
        const qsizetype start = m_pos;
        while (m_pos < m_text.size() && m_text[m_pos] != u',' && !atLineEnd())
            ++m_pos;
        value = m_text.mid(start, m_pos - start);
    }
    if (m_pos < m_text.size() && m_text[m_pos] == u',')
        ++m_pos;
    else
        consumeLineEnd();
    return value;
}

std::optional<double> FieldReader::readNumber()
{
    const std::optional<QString> field = readText();
    if (!field)
        return std::nullopt;
    return exchange::readNumber(*field);
}

} // namespace exchange
