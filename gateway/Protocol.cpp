#include "Protocol.h"

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

} // namespace gateway
