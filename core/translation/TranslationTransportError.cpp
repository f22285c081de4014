#include "core/translation/TranslationTransportError.h"

#include "core/translation/TranslationMessages.h"

namespace vela {

std::string_view TranslationTransportError::userFacingMessage() const {
    return kind_ == Kind::invalidApiKey ? messages::invalidApiKey : messages::networkFailure;
}

std::string_view userFacingMessage(const TransportError& error) {
    if (const auto* own = std::get_if<TranslationTransportError>(&error)) {
        return own->userFacingMessage();
    }
    return messages::networkFailure;
}

}  // namespace vela
