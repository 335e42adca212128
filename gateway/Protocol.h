#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace gateway {

// Longest message a browser may send over its WebSocket, and longest seat
// entry, lesson code and token inside one.
inline constexpr qsizetype kMaxMessageBytes = 2048;
inline constexpr qsizetype kMaxEntryChars = 32;
inline constexpr qsizetype kMaxCodeChars = 16;
inline constexpr qsizetype kMaxTokenChars = 64;

// One message from a browser's page.
struct BrowserMessage
{
    enum class Type {
        // {"type":"signin","seat":"7","code":"1234","takeover":false}
        SignIn,
        // {"type":"resume","token":"..."}: the page comes back after a lost
        // connection or a reload.
        Resume,
        // {"type":"answer","index":0,"version":3}: button index 0 to 4 on the
        // view of that version.
        Answer,
    };
    Type type = Type::SignIn;
    QString seat;
    QString code;
    bool takeover = false;
    QString token;
    int index = -1;
    qint64 version = -1;
};

// Reads one message; nothing for anything that is not a well-formed message
// of a known type with fields of the right kind and size.
std::optional<BrowserMessage> parseBrowserMessage(QByteArrayView text);

} // namespace gateway
