#pragma once

#include <QString>

#include <optional>

namespace exchange {

// Reads the fields of an exchange file one after another, as both programs
// read them:
//  1. blanks (and tabs) before a field are skipped;
//  2. a field that begins with a double quote runs to the next double quote on
//     its line (to the line end when there is none); the quotes are not part
//     of the value, and the rest up to the next comma or line end is dropped;
//  3. any other field runs to the next comma or the end of the line; the
//     comma or the line end is consumed;
//  4. an empty line gives an empty field;
//  5. a number slot takes the field's value by the number-reading rule
//     (a field that is not a number gives 0);
//  6. asking for a field when no data is left fails, and so does every read
//     of a file that could not be opened.
// A line ends at CR LF, a lone CR or a lone LF.
class FieldReader
{
public:
    // A reader of a file that could not be opened: every read fails.
    FieldReader() = default;
    explicit FieldReader(QString text);

    // Opens path, reads at most maxBytes of it and decodes them from code
    // page 932. A missing or unreadable file (no permission, or anything but
    // a regular file: a folder, pipe, socket or device) gives a reader that
    // is not open, at once.
    static FieldReader fromFile(const QString &path, qint64 maxBytes);

    bool isOpen() const { return m_open; }

    std::optional<QString> readText();
    std::optional<double> readNumber();

private:
    QString m_text;
    qsizetype m_pos = 0;
    bool m_open = false;

    bool atLineEnd() const;
    void consumeLineEnd();
};

} // namespace exchange
