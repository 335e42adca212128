// A browser's WebSocket message as the gateway reads it.
#include "gateway/Protocol.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView text(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<gateway::BrowserMessage> message = gateway::parseBrowserMessage(text);
    if (!message)
        return 0;
    // Whatever is accepted stays within the bounds the gateway relies on.
    if (size > std::size_t(gateway::kMaxMessageBytes))
        std::abort();
    switch (message->type) {
    case gateway::BrowserMessage::Type::SignIn:
        if (message->seat.size() > gateway::kMaxEntryChars ||
            message->code.size() > gateway::kMaxCodeChars ||
            message->key.size() > gateway::kMaxTokenChars ||
            (!message->code.isEmpty() && !message->key.isEmpty()))
            std::abort();
        break;
    case gateway::BrowserMessage::Type::Resume:
        if (message->token.isEmpty() || message->token.size() > gateway::kMaxTokenChars)
            std::abort();
        break;
    case gateway::BrowserMessage::Type::Release:
        break;
    case gateway::BrowserMessage::Type::Answer:
        if (message->index < 0 || message->index > 4 || message->version < 0)
            std::abort();
        break;
    }
    return 0;
}
