#include "Protocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <cmath>

using namespace Qt::StringLiterals;

namespace gateway {
namespace {

std::optional<QString> stringField(const QJsonObject &object, QLatin1StringView key,
                                   qsizetype maxChars)
{
    const QJsonValue value = object.value(key);
    if (!value.isString())
        return std::nullopt;
    QString text = value.toString();
    if (text.size() > maxChars)
        return std::nullopt;
    return text;
}

// A whole number within [low, high]; JSON numbers arrive as doubles.
std::optional<qint64> wholeField(const QJsonObject &object, QLatin1StringView key, double low,
                                 double high)
{
    const QJsonValue value = object.value(key);
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (!std::isfinite(number) || number < low || number > high || std::trunc(number) != number)
        return std::nullopt;
    return static_cast<qint64>(number);
}

} // namespace

std::optional<BrowserMessage> parseBrowserMessage(QByteArrayView text)
{
    if (text.size() > kMaxMessageBytes)
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue type = object.value("type"_L1);
    if (!type.isString())
        return std::nullopt;

    BrowserMessage message;
    const QString typeName = type.toString();
    if (typeName == "signin"_L1) {
        message.type = BrowserMessage::Type::SignIn;
        const std::optional<QString> seat = stringField(object, "seat"_L1, kMaxEntryChars);
        const std::optional<QString> code = stringField(object, "code"_L1, kMaxCodeChars);
        const std::optional<QString> key = stringField(object, "key"_L1, kMaxTokenChars);
        // One of the two, code or key.
        if (!seat || !code == !key)
            return std::nullopt;
        message.seat = *seat;
        message.code = code.value_or(QString());
        message.key = key.value_or(QString());
        const QJsonValue takeover = object.value("takeover"_L1);
        if (!takeover.isUndefined() && !takeover.isBool())
            return std::nullopt;
        message.takeover = takeover.toBool(false);
        return message;
    }
    if (typeName == "resume"_L1) {
        message.type = BrowserMessage::Type::Resume;
        const std::optional<QString> token = stringField(object, "token"_L1, kMaxTokenChars);
        if (!token || token->isEmpty())
            return std::nullopt;
        message.token = *token;
        return message;
    }
    if (typeName == "release"_L1) {
        message.type = BrowserMessage::Type::Release;
        return message;
    }
    if (typeName == "answer"_L1) {
        message.type = BrowserMessage::Type::Answer;
        const std::optional<qint64> index = wholeField(object, "index"_L1, 0, 4);
        const std::optional<qint64> version = wholeField(object, "version"_L1, 0, 1e15);
        if (!index || !version)
            return std::nullopt;
        message.index = int(*index);
        message.version = *version;
        return message;
    }
    return std::nullopt;
}

namespace toPage {
namespace {

QByteArray toJson(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

QByteArray refused(const QString &reason, const QString &title, const QString &text)
{
    return toJson({{u"type"_s, u"refused"_s},
                   {u"reason"_s, reason},
                   {u"title"_s, title},
                   {u"message"_s, text}});
}

QByteArray signedIn(int seat, const QByteArray &token)
{
    return toJson(
        {{u"type"_s, u"signedin"_s}, {u"seat"_s, seat}, {u"token"_s, QString::fromLatin1(token)}});
}

QByteArray held(int seat, const QString &text)
{
    return toJson({{u"type"_s, u"held"_s}, {u"seat"_s, seat}, {u"message"_s, text}});
}

QByteArray pending(int seat, int request, const QString &text)
{
    return toJson({{u"type"_s, u"pending"_s},
                   {u"seat"_s, seat},
                   {u"request"_s, request},
                   {u"message"_s, text}});
}

QByteArray notice(const QString &type, const QString &text)
{
    return toJson({{u"type"_s, type}, {u"message"_s, text}});
}

QByteArray bare(const QString &type)
{
    return toJson({{u"type"_s, type}});
}

QByteArray accepted(int index)
{
    return toJson({{u"type"_s, u"accepted"_s}, {u"index"_s, index}});
}

QByteArray dropped(int index, const QString &text)
{
    return toJson({{u"type"_s, u"dropped"_s}, {u"index"_s, index}, {u"message"_s, text}});
}

QByteArray time(const QString &text)
{
    return toJson({{u"type"_s, u"time"_s}, {u"text"_s, text}});
}

QByteArray viewContent(const QString &question, const QList<Button> &buttons)
{
    QJsonArray shown;
    for (const Button &button : buttons)
        shown.append(QJsonObject{{u"label"_s, button.label}, {u"shown"_s, button.shown}});
    return toJson({{u"question"_s, question}, {u"buttons"_s, shown}});
}

QByteArray view(const QByteArray &content, qint64 version, const QString &notice)
{
    QJsonObject object = QJsonDocument::fromJson(content).object();
    object.insert(u"type"_s, u"view"_s);
    object.insert(u"version"_s, version);
    object.insert(u"notice"_s, notice);
    return toJson(object);
}

} // namespace toPage
} // namespace gateway
