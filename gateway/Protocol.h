#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace gateway {

// Longest message a browser may send over its WebSocket, and longest seat
// entry, lesson code, token and lesson key inside one.
inline constexpr qsizetype kMaxMessageBytes = 2048;
inline constexpr qsizetype kMaxEntryChars = 32;
inline constexpr qsizetype kMaxCodeChars = 16;
inline constexpr qsizetype kMaxTokenChars = 64;

// One message from a browser's page.
struct BrowserMessage
{
    enum class Type {
        // {"type":"signin","seat":"7","code":"123456","takeover":false}, or
        // with "key" (the lesson key of the QR code's address) for "code".
        // takeover asks for a seat that another page holds.
        SignIn,
        // {"type":"resume","token":"..."}: the page comes back after a lost
        // connection or a reload, or another tab of the same browser.
        Resume,
        // {"type":"answer","index":0,"version":3}: button index 0 to 4 on the
        // view of that version.
        Answer,
        // {"type":"release"}: the page gives its seat up.
        Release,
    };
    Type type = Type::SignIn;
    QString seat;
    QString code;
    QString key;
    bool takeover = false;
    QString token;
    int index = -1;
    qint64 version = -1;
};

// Reads one message; nothing for anything that is not a well-formed message
// of a known type with fields of the right kind and size.
std::optional<BrowserMessage> parseBrowserMessage(QByteArrayView text);

} // namespace gateway
