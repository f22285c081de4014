// The transport's own rules; what a translation sends and how every answer ends is tested
// through the coordinator, over this transport, in TranslationCoordinatorTest.
#include "core/translation/HTTPTranslationTransport.h"

#include <gtest/gtest.h>

#include "tests/support/LoopbackHttpServer.h"

namespace vela {
namespace {

using namespace std::chrono_literals;
using test::CannedResponse;
using test::LoopbackHttpServer;
using test::RecordedRequest;
using Transport = HTTPTranslationTransport;
using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(HTTPTranslationTransport, ChatAddressesAndLanguageNames) {
    for (const auto& [typed, full] :
         Pairs{{"  https://api.example.com/v1/ \n", "https://api.example.com/v1/chat/completions"},
               {"https://h/openai", "https://h/openai/v1/chat/completions"},
               {"https://h/x/chat/completions///", "https://h/x/chat/completions"},
               {" ", "https://api.deepseek.com/v1/chat/completions"}})
        EXPECT_EQ(Transport::normalizeChatCompletionsURL(typed), full);
    for (const auto& [code, name] : Pairs{{"ja", "Japanese (日本語)"},
                                          {"en", "English"},
                                          {"zh", "Simplified Chinese (簡体字中国語)"},
                                          {"ko", "Korean (한국어)"},
                                          {"fr", "fr"}})
        EXPECT_EQ(Transport::languageDisplayName(code), name);
}

TEST(HTTPTranslationTransport, UnreachableSilentAndHostileServices) {
    EXPECT_EQ(
        Transport("not a url", "::").translateBuiltin("x", "en", "ja", {}).error(),
        TransportError(TranslationTransportError::networkFailure("Builtin endpoints unreachable")));

    const std::string manifest = R"({"latestVersion":"0.1.0","minRequiredVersion":"0.1.0",)"
                                 R"("updateURL":"u","releaseNotes":"no\u0000tes")";
    CannedResponse silent;
    silent.hold = true;
    const std::map<std::string, CannedResponse> routes = {
        {"/p/translate_a/single", silent},
        {"/b/get", {200, R"({"responseData":{"translatedText":"backup"}})"}},
        {"/c/v1/chat/completions", silent},
        {"/nul", {200, manifest + "}"}},
        {"/deep",
         {200, manifest + R"(,"x":)" + std::string(100000, '[') + std::string(100000, ']') + "}"}}};
    LoopbackHttpServer server(LoopbackHttpServer::routedBy(routes));
    const std::string base = server.baseURL();
    const Transport::Timeouts limits{
        .builtinIdle = 300ms, .customIdle = 300ms, .translationTotal = 5s};
    Transport transport(base + "/p", base + "/b", limits);
    // A silent service is given up when its idle limit runs out, long before the total one.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(transport.translateBuiltin("x", "en", "ja", {}).value(), "backup");
    EXPECT_FALSE(transport.translateCustom("x", "auto", "ja", base + "/c", "k", "", {}).ok());
    EXPECT_LT(std::chrono::steady_clock::now() - start, limits.translationTotal);
    // A manifest's texts lose NUL characters; one nested too deep is refused.
    EXPECT_EQ(transport.fetchRemoteManifest(base + "/nul", {}).value().releaseNotes, "notes");
    EXPECT_TRUE(std::holds_alternative<DocumentDecodeError>(
        transport.fetchRemoteManifest(base + "/deep", {}).error()));
}

}  // namespace
}  // namespace vela
