#include "core/translation/HTTPTranslationTransport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "core/translation/TranslationCoordinator.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempDir.h"

namespace vela {
namespace {

using nlohmann::json;
using test::CannedResponse;
using test::LoopbackHttpServer;
using test::RecordedRequest;
using Transport = HTTPTranslationTransport;

CannedResponse chat(const std::string& content) {
    return {200, R"({"id":"x","choices":[{"index":0,"message":{"role":"assistant","content":)" +
                     test::jsonString(content) + R"(}}],"usage":{"total_tokens":3}})"};
}

TEST(CustomChannel, AddressAndLanguageNames) {
    EXPECT_EQ(Transport::normalizeChatCompletionsURL("  https://api.example.com/v1/ \n"),
              "https://api.example.com/v1/chat/completions");
    EXPECT_EQ(Transport::normalizeChatCompletionsURL("https://api.example.com"),
              "https://api.example.com/v1/chat/completions");
    EXPECT_EQ(Transport::normalizeChatCompletionsURL("https://h/x/chat/completions///"),
              "https://h/x/chat/completions");
    EXPECT_EQ(Transport::normalizeChatCompletionsURL("https://h/openai"),
              "https://h/openai/v1/chat/completions");
    EXPECT_EQ(Transport::normalizeChatCompletionsURL(" "),
              "https://api.deepseek.com/v1/chat/completions");
    EXPECT_EQ(Transport::languageDisplayName("ja"), "Japanese (日本語)");
    EXPECT_EQ(Transport::languageDisplayName("en"), "English");
    EXPECT_EQ(Transport::languageDisplayName("zh"), "Simplified Chinese (簡体字中国語)");
    EXPECT_EQ(Transport::languageDisplayName("ko"), "Korean (한국어)");
    EXPECT_EQ(Transport::languageDisplayName("fr"), "fr");
}

TEST(CustomChannel, RequestCarriesTheChatCompletionsFormat) {
    LoopbackHttpServer server([](const RecordedRequest&) { return chat("  안녕하세요\n"); });
    Transport transport;
    const std::string text = " it's\nline two 😀 ";
    auto result = transport.translateCustom(text, "auto", "ko", " " + server.baseURL() + "/v1/ ",
                                            " \tsk-abc \n", "   ", {});
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.value(), "안녕하세요");

    ASSERT_EQ(server.requestCount(), 1u);
    const RecordedRequest r = server.requests()[0];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.path, "/v1/chat/completions");
    EXPECT_EQ(r.header("Content-Type"), "application/json");
    EXPECT_EQ(r.header("Authorization"), "Bearer sk-abc");
    const json body = json::parse(r.body);
    EXPECT_EQ(body.size(), 3u);
    EXPECT_EQ(body.at("model"), "deepseek-chat");
    EXPECT_DOUBLE_EQ(body.at("temperature").get<double>(), 0.2);
    ASSERT_EQ(body.at("messages").size(), 2u);
    EXPECT_EQ(body["messages"][0],
              (json{{"role", "system"},
                    {"content",
                     "You are Vela, a concise, natural translator. Translate the user's input "
                     "into natural Korean (한국어). Output ONLY the translation without "
                     "explanations."}}));
    EXPECT_EQ(body["messages"][1], (json{{"role", "user"}, {"content", text}}));

    // A model with surrounding spaces but real characters is sent as typed;
    // an unknown target goes into the prompt as the bare code; broken UTF-8 in
    // the text still makes a valid JSON body.
    ASSERT_TRUE(
        transport.translateCustom("x\xff", "en", "fr", server.baseURL(), "k", " m-1 ", {}).ok());
    const RecordedRequest second = server.requests()[1];
    EXPECT_EQ(second.path, "/v1/chat/completions");
    const json secondBody = json::parse(second.body);
    EXPECT_EQ(secondBody.at("model"), " m-1 ");
    EXPECT_EQ(secondBody["messages"][1]["content"], "x\uFFFD");
    EXPECT_NE(secondBody["messages"][0]["content"].get<std::string>().find("natural fr."),
              std::string::npos);

    // Other path shapes reach the server as normalised.
    ASSERT_TRUE(
        transport.translateCustom("x", "en", "ja", server.baseURL() + "/openai", "k", "m", {})
            .ok());
    EXPECT_EQ(server.requests()[2].path, "/openai/v1/chat/completions");
    ASSERT_TRUE(transport
                    .translateCustom("x", "en", "ja", server.baseURL() + "/p/chat/completions/",
                                     "k", "m", {})
                    .ok());
    EXPECT_EQ(server.requests()[3].path, "/p/chat/completions");
}

TEST(CustomChannel, StatusesAndShapesMapToTypedErrors) {
    struct Case {
        CannedResponse answer;
        TransportResult<std::string> expected;
    };
    const auto invalid = TranslationTransportError::networkFailure("Invalid response format");
    const std::vector<Case> cases = {
        {{401, "{}"}, TranslationTransportError::invalidApiKey()},
        {{402, R"({"error":"balance"})"}, TranslationTransportError::invalidApiKey()},
        {{403, "forbidden", "text/plain"}, TranslationTransportError::invalidApiKey()},
        {{404, "{}"}, TranslationTransportError::networkFailure("HTTP 404")},
        {{500, "{}"}, TranslationTransportError::networkFailure("HTTP 500")},
        {{429, "{}"}, TranslationTransportError::networkFailure("HTTP 429")},
        {{200, R"({"choices":[]})"}, invalid},
        {{200, "not json", "text/plain"}, invalid},
        {{200, R"([1,2])"}, invalid},
        {{200, R"({"choices":{"message":{"content":"x"}}})"}, invalid},
        {{200, R"({"choices":[{"message":{"content":"x"}}, 3]})"}, invalid},
        {{200, R"({"choices":[{}]})"}, invalid},
        {{200, R"({"choices":[{"message":{}}]})"}, invalid},
        {{200, R"({"choices":[{"message":{"content":null}}]})"}, invalid},
        {{200, R"({"choices":[{"message":{"content":7}}]})"}, invalid},
        {{200, R"({"choices":[{"message":"hi"}]})"}, invalid},
        {chat(""), std::string("")},
        {chat(" \n訳文です\n"), std::string("訳文です")},
    };
    Transport transport;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        const CannedResponse answer = cases[i].answer;
        LoopbackHttpServer server([&](const RecordedRequest&) { return answer; });
        EXPECT_EQ(transport.translateCustom("text", "auto", "ja", server.baseURL(), "key", "m", {}),
                  cases[i].expected);
    }
}

TEST(CustomChannel, AnswersWithoutNetwork) {
    LoopbackHttpServer server([](const RecordedRequest&) { return chat("network"); });
    Transport transport;
    EXPECT_EQ(transport.translateCustom("A b ", "auto", "en",
                                        "::not a url::", "  sk-qrtx-pilot-sandbox1 ", "", {}),
              TransportResult<std::string>(std::string("[Custom AI Unlimited] Translated: A b ")));
    EXPECT_EQ(transport.translateCustom("テキスト", "auto", "ja", server.baseURL(),
                                        "sk-qrtx-pilot-sandbox1", "", {}),
              TransportResult<std::string>(std::string("【カスタムAI無制限】翻訳結果：テキスト")));
    EXPECT_EQ(transport.translateCustom("x", "auto", "ja", server.baseURL(), " \n ", "", {}),
              TransportResult<std::string>(TranslationTransportError::invalidApiKey()));
    EXPECT_EQ(transport.verifyCustomKey("", "sk-qrtx-pilot-sandbox1", "", {}),
              TransportResult<std::monostate>(std::monostate{}));
    EXPECT_EQ(transport.verifyCustomKey(server.baseURL(), "   ", "", {}),
              TransportResult<std::monostate>(TranslationTransportError::invalidApiKey()));
    EXPECT_EQ(server.requestCount(), 0u);

    EXPECT_EQ(transport.translateCustom("x", "auto", "ja", "::not a url::", "key", "", {}),
              TransportResult<std::string>(
                  TranslationTransportError::networkFailure("Invalid Base URL")));
}

TEST(CustomChannel, ClientFailuresCarryADescription) {
    std::string closedBase;
    {
        LoopbackHttpServer gone([](const RecordedRequest&) { return CannedResponse{}; });
        closedBase = gone.baseURL();
    }
    Transport transport;
    auto refused = transport.translateCustom("x", "auto", "ja", closedBase, "key", "", {});
    ASSERT_FALSE(refused.ok());
    const auto* error = std::get_if<TranslationTransportError>(&refused.error());
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->kind(), TranslationTransportError::Kind::networkFailure);
    EXPECT_FALSE(error->detail().empty());

    // A scheme other than http(s) is refused by the client, not read.
    auto ftp = transport.translateCustom("x", "auto", "ja", "ftp://127.0.0.1:1/v1", "key", "", {});
    ASSERT_FALSE(ftp.ok());
    EXPECT_EQ(std::get<TranslationTransportError>(ftp.error()).kind(),
              TranslationTransportError::Kind::networkFailure);
}

TEST(CustomChannel, ConnectionTestThroughTheCoordinator) {
    LoopbackHttpServer server([](const RecordedRequest& r) {
        if (r.header("Authorization") == "Bearer good")
            return chat("こんにちは");
        return CannedResponse{401, R"({"error":"bad key"})"};
    });
    test::TempDir dir;
    ConfigStore store(dir / "config.json");
    TranslationCoordinator coordinator(store, std::make_unique<Transport>());

    EXPECT_EQ(coordinator.testConnection(server.baseURL(), " good ", ""),
              ConnectionTestResult(std::string("接続テスト成功")));
    const json body = json::parse(server.requests().at(0).body);
    EXPECT_EQ(body["messages"][1]["content"], "Hello");
    EXPECT_NE(body["messages"][0]["content"].get<std::string>().find("Japanese (日本語)"),
              std::string::npos);
    EXPECT_EQ(coordinator.testConnection(server.baseURL(), "wrong", ""),
              ConnectionTestResult(
                  ConnectionTestError{"APIキーが無効、または残高不足です。設定をご確認ください"}));

    // The custom channel chosen in the settings answers a translation.
    store.update([&](VelaConfig& c) {
        c.channelMode = TranslationChannelMode::custom;
        c.customApiKey = "good";
        c.customBaseURL = server.baseURL();
    });
    auto outcome = coordinator.translate("Hello there, how are you?", "auto", "ja", false);
    ASSERT_TRUE(outcome.isSuccess());
    const auto& success = std::get<TranslationOutcome::Success>(outcome.value);
    EXPECT_EQ(success.translatedText, "こんにちは");
    EXPECT_TRUE(success.usedCustomChannel);
    EXPECT_GE(success.elapsedMs, 1);
}

}  // namespace
}  // namespace vela
