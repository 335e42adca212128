#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

namespace gateway {

// Longest message a browser may send over its WebSocket, and longest seat
// entry, lesson code, token and lesson key inside one.
inline constexpr qsizetype kMaxMessageBytes = 2048;
inline constexpr qsizetype kMaxEntryChars = 32;
inline constexpr qsizetype kMaxCodeChars = 16;
inline constexpr qsizetype kMaxTokenChars = 64;
// Longest caption of the teacher's time limit sent to the pages.
inline constexpr qsizetype kMaxTimeCaptionChars = 32;

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

// Every message to a page, as app.js reads it: {"type":..., ...}.
namespace toPage {

// {"type":"refused","reason":"code","title":...,"message":...}: the sign-in
// or the message was not taken; reason tells the page which field to fix.
QByteArray refused(const QString &reason, const QString &title, const QString &text);
// {"type":"signedin","seat":7,"token":"..."}: the page holds the seat.
QByteArray signedIn(int seat, const QByteArray &token);
// {"type":"held","seat":7,"message":...}: another page holds the seat.
QByteArray held(int seat, const QString &text);
// {"type":"pending","seat":7,"request":3,"message":...}: the request waits
// for the teacher.
QByteArray pending(int seat, int request, const QString &text);
// A notice of type: "requested", "takenover", "released", "moved",
// "seatfree" (the seat asked for is free: sign in again), "lapsed".
QByteArray notice(const QString &type, const QString &text);
// {"type":"end"} and {"type":"expired"}.
QByteArray bare(const QString &type);
// {"type":"accepted","index":1}
QByteArray accepted(int index);
// {"type":"dropped","index":1,"message":...}: the answer was not written.
QByteArray dropped(int index, const QString &text);

// {"type":"time","text":"のこり 1:05"}: the time left to answer, as the
// teacher's program words it; an empty text hides it.
QByteArray time(const QString &text);

// The question and the buttons of a seat, which make its version.
struct Button
{
    QString label;
    bool shown = false;
};
QByteArray viewContent(const QString &question, const QList<Button> &buttons);
// {"type":"view","question":...,"buttons":[...],"version":3,"notice":...}
QByteArray view(const QByteArray &content, qint64 version, const QString &notice);

} // namespace toPage

} // namespace gateway
