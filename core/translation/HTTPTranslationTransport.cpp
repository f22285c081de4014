#include "core/translation/HTTPTranslationTransport.h"

#include <nlohmann/json.hpp>

#include <algorithm>

#include "core/settings/VelaConfig.h"
#include "core/support/JsonReader.h"
#include "core/support/UnicodeText.h"
#include "core/translation/CurlHTTPClient.h"
#include "core/translation/TranslationMessages.h"

namespace vela {

namespace {

using nlohmann::json;

std::string withoutTrailingSlashes(std::string base) {
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    return base;
}

// Text from callers may hold broken UTF-8; services get U+FFFD in its place.
std::string validUtf8(std::string_view text) {
    return fromScalars(toScalars(text));
}

std::string builtinCode(const std::string& code) {
    return code == "zh" ? "zh-CN" : code;
}

bool isSuccessStatus(long status) {
    return status >= 200 && status <= 299;
}

// One request to a builtin service, within the builtin time limits: the body of its 2xx
// answer, or the failure named for that service.
TransportResult<std::string> builtinAnswer(HTTPRequest request, const HTTPTransportTimeouts& limits,
                                           const char* invalidURL, const char* statusError,
                                           std::stop_token stop) {
    if (!isWellFormedURL(request.url))
        return TranslationTransportError::networkFailure(invalidURL);
    request.idleTimeout = limits.builtinIdle;
    request.totalTimeout = limits.translationTotal;
    auto response = performHTTPRequest(request, stop);
    if (!response)
        return response.error();
    if (!isSuccessStatus(response.value().status))
        return TranslationTransportError::networkFailure(statusError);
    return std::move(response.value().body);
}

}  // namespace

HTTPTranslationTransport::HTTPTranslationTransport(std::string primaryBase, std::string backupBase,
                                                   Timeouts timeouts)
    : primaryBase_(withoutTrailingSlashes(std::move(primaryBase))),
      backupBase_(withoutTrailingSlashes(std::move(backupBase))),
      timeouts_(timeouts) {}

TransportResult<std::string> HTTPTranslationTransport::translateBuiltin(const std::string& text,
                                                                        const std::string& source,
                                                                        const std::string& target,
                                                                        std::stop_token stop) {
    const std::string sl = builtinCode(source);
    const std::string tl = builtinCode(target);
    const std::string clean = validUtf8(text);
    // Errors of one service are dropped on purpose: the backup gets its chance,
    // and the caller only needs to know that neither answered.
    if (auto primary = requestGoogleGTX(clean, sl, tl, stop); primary && !primary.value().empty()) {
        return primary;
    }
    if (auto backup = requestMyMemory(clean, sl, tl, stop); backup && !backup.value().empty()) {
        return backup;
    }
    return TranslationTransportError::networkFailure("Builtin endpoints unreachable");
}

TransportResult<std::string> HTTPTranslationTransport::requestGoogleGTX(const std::string& text,
                                                                        const std::string& sl,
                                                                        const std::string& tl,
                                                                        std::stop_token stop) {
    HTTPRequest request;
    request.url = primaryBase_ + "/translate_a/single?client=gtx&dt=t";
    request.method = "POST";
    request.headers = {"Content-Type: application/x-www-form-urlencoded; charset=utf-8",
                       "User-Agent: Mozilla/5.0 (Macintosh; Intel Mac OS X 14_0)"};
    request.body =
        "sl=" + percentEncoded(sl) + "&tl=" + percentEncoded(tl) + "&q=" + percentEncoded(text);
    auto answer =
        builtinAnswer(std::move(request), timeouts_, "Invalid URL", "HTTP status error", stop);
    if (!answer)
        return answer.error();
    auto root = parseJsonText(answer.value());
    if (!root)
        return JSONParseError{"Primary response is not JSON"};
    if (!root->is_array() || root->empty() || !(*root)[0].is_array()) {
        return TranslationTransportError::networkFailure("Malformed response");
    }
    std::string joined;
    for (const json& segment : (*root)[0]) {
        if (segment.is_array() && !segment.empty() && segment[0].is_string()) {
            joined += segment[0].get_ref<const std::string&>();
        }
    }
    return trimmed(externalText(joined));
}

TransportResult<std::string> HTTPTranslationTransport::requestMyMemory(const std::string& text,
                                                                       const std::string& sl,
                                                                       const std::string& tl,
                                                                       std::stop_token stop) {
    const std::string langpair = (sl == "auto" ? std::string("en") : sl) + "|" + tl;
    HTTPRequest request;
    request.url = backupBase_ +
                  "/get?q=" + percentEncoded(firstGraphemes(text, backupQueryCharacters)) +
                  "&langpair=" + percentEncoded(langpair);
    auto answer = builtinAnswer(std::move(request), timeouts_, "Invalid backup URL",
                                "Backup HTTP error", stop);
    if (!answer)
        return answer.error();
    auto root = parseJsonText(answer.value());
    if (!root)
        return JSONParseError{"Backup response is not JSON"};
    if (!root->is_object())
        return TranslationTransportError::networkFailure("Backup parse error");
    auto data = root->find("responseData");
    if (data == root->end() || !data->is_object()) {
        return TranslationTransportError::networkFailure("Backup parse error");
    }
    auto translated = data->find("translatedText");
    if (translated == data->end() || !translated->is_string()) {
        return TranslationTransportError::networkFailure("Backup parse error");
    }
    return trimmed(externalText(translated->get_ref<const std::string&>()));
}

TransportResult<std::string> HTTPTranslationTransport::translateCustom(
    const std::string& text, const std::string& /*source: the prompt names only the target*/,
    const std::string& target, const std::string& baseURL, const std::string& apiKey,
    const std::string& model, std::stop_token stop) {
    const std::string key = trimmed(apiKey);
    // A control character (a hand-edited CR or LF) would end the header line and
    // smuggle in headers of its own: such a key is refused, never sent.
    if (key.empty() || std::ranges::any_of(toScalars(key), isControlCharacter))
        return TranslationTransportError::invalidApiKey();
    if (key == demonstrationKey) {
        const std::string prefix = target == "en" ? "[Custom AI Unlimited] Translated: "
                                                  : std::string(messages::demoPrefixOther);
        return prefix + text;
    }

    HTTPRequest request;
    request.url = normalizeChatCompletionsURL(baseURL);
    if (!isWellFormedURL(request.url)) {
        return TranslationTransportError::networkFailure("Invalid Base URL");
    }
    const std::string modelName =
        trimmed(model).empty() ? std::string(VelaConfig::defaultCustomModel) : model;
    const json body = {
        {"model", validUtf8(modelName)},
        {"temperature", 0.2},
        {"messages", json::array({{{"role", "system"},
                                   {"content",
                                    "You are Vela, a concise, natural translator. Translate the "
                                    "user's input into natural " +
                                        validUtf8(languageDisplayName(target)) +
                                        ". Output ONLY the translation without explanations."}},
                                  {{"role", "user"}, {"content", validUtf8(text)}}})},
    };
    request.method = "POST";
    request.body = body.dump(-1, ' ', false, json::error_handler_t::replace);
    request.headers = {"Content-Type: application/json", "Authorization: Bearer " + key};
    request.idleTimeout = timeouts_.customIdle;
    request.totalTimeout = timeouts_.translationTotal;

    auto response = performHTTPRequest(request, stop);
    if (!response) {
        const auto& error = std::get<HTTPClientError>(response.error());
        return TranslationTransportError::networkFailure(error.description);
    }
    const long status = response.value().status;
    if (status == 0)
        return TranslationTransportError::networkFailure("No HTTP response");
    if (status == 401 || status == 402 || status == 403) {
        return TranslationTransportError::invalidApiKey();
    }
    if (!isSuccessStatus(status)) {
        return TranslationTransportError::networkFailure("HTTP " + std::to_string(status));
    }

    const auto invalid = [] {
        return TranslationTransportError::networkFailure("Invalid response format");
    };
    auto root = parseJsonText(response.value().body);
    if (!root || !root->is_object())
        return invalid();
    auto choices = root->find("choices");
    if (choices == root->end() || !choices->is_array() || choices->empty())
        return invalid();
    for (const json& choice : *choices) {
        if (!choice.is_object())
            return invalid();
    }
    const json& first = (*choices)[0];
    auto message = first.find("message");
    if (message == first.end() || !message->is_object())
        return invalid();
    auto content = message->find("content");
    if (content == message->end() || !content->is_string())
        return invalid();
    return trimmed(externalText(content->get_ref<const std::string&>()));
}

TransportResult<std::monostate> HTTPTranslationTransport::verifyCustomKey(
    const std::string& baseURL, const std::string& apiKey, const std::string& model,
    std::stop_token stop) {
    const std::string key = trimmed(apiKey);
    if (key.empty())
        return TranslationTransportError::invalidApiKey();
    if (key == demonstrationKey)
        return std::monostate{};
    auto result = translateCustom("Hello", "auto", "ja", baseURL, key, model, stop);
    if (!result)
        return result.error();
    return std::monostate{};
}

TransportResult<RemoteControlManifest> HTTPTranslationTransport::fetchRemoteManifest(
    const std::string& url, std::stop_token stop) {
    const std::optional<URLParts> parts = parseURL(url);
    if (!parts)
        return TranslationTransportError::networkFailure("Invalid remote config URL");

    std::string bytes;
    if (parts->scheme == "file") {
        FileReadResult read = readWholeFile(parts->path, maxManifestBytes);
        if (!read.bytes)
            return FileReadFailure{read.error};
        bytes = std::move(*read.bytes);
    } else {
        HTTPRequest request;
        request.url = url;
        request.idleTimeout = timeouts_.manifestIdle;
        request.totalTimeout = timeouts_.manifestTotal;
        request.maxResponseBytes = maxManifestBytes;
        auto response = performHTTPRequest(request, stop);
        if (!response)
            return response.error();
        if (!isSuccessStatus(response.value().status)) {
            return TranslationTransportError::networkFailure("Remote config unreachable");
        }
        bytes = std::move(response.value().body);
    }

    auto decoded = decodeRemoteControlManifest(bytes);
    if (auto* failure = std::get_if<ManifestDecodeFailure>(&decoded)) {
        return DocumentDecodeError{std::move(failure->reason)};
    }
    return std::get<RemoteControlManifest>(std::move(decoded));
}

std::string HTTPTranslationTransport::normalizeChatCompletionsURL(std::string_view baseURL) {
    std::string url = trimmed(baseURL);
    if (url.empty())
        url = VelaConfig::defaultCustomBaseURL;
    url = withoutTrailingSlashes(std::move(url));
    if (url.ends_with("/chat/completions"))
        return url;
    if (url.ends_with("/v1"))
        return url + "/chat/completions";
    return url + "/v1/chat/completions";
}

std::string HTTPTranslationTransport::languageDisplayName(std::string_view code) {
    if (code == "ja")
        return "Japanese (日本語)";
    if (code == "en")
        return "English";
    if (code == "zh")
        return "Simplified Chinese (簡体字中国語)";
    if (code == "ko")
        return "Korean (한국어)";
    return std::string(code);
}

}  // namespace vela
