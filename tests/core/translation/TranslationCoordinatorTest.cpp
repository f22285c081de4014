#include "core/translation/TranslationCoordinator.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <thread>

#include "core/translation/HTTPTranslationTransport.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/Wait.h"

namespace vela {
namespace {

using test::CannedResponse;
using Success = TranslationOutcome::Success;

const std::string kPrimary = "/p/translate_a/single", kChat = "/c/v1/chat/completions";
const std::string kNetwork =
    "ネットワーク接続に失敗しました。通信環境をご確認の上、再試行してください";
const std::string kInvalidKey = "APIキーが無効、または残高不足です。設定をご確認ください";

CannedResponse chat(const std::string& text) {
    return {200, R"({"choices":[{"message":{"content":)" + test::jsonString(text) + "}}]}"};
}

// The coordinator over the real transport; one loopback server plays the builtin primary
// (under /p), its backup (/b, answering 404 unless routed) and the custom service (/c).
struct Engine {
    test::TempDir dir;
    ConfigStore store{dir / "config.json"};
    std::map<std::string, CannedResponse> routes{{kPrimary, {200, R"([[["translated"]]])"}}};
    test::LoopbackHttpServer server{test::LoopbackHttpServer::routedBy(routes)};
    TranslationCoordinator coordinator{
        store, std::make_unique<HTTPTranslationTransport>(server.baseURL() + "/p",
                                                          server.baseURL() + "/b")};

    TranslationOutcome translate(const std::string& text,
                                 const std::optional<std::string>& source = "auto",
                                 const std::optional<std::string>& target = "ja",
                                 bool manual = false) {
        return coordinator.translate(text, source, target, manual);
    }
    test::RecordedRequest last() const { return server.requests().back(); }
    void useCustom(const std::string& key) {
        store.update([&](VelaConfig& c) {
            c.channelMode = TranslationChannelMode::custom;
            c.customApiKey = key;
            c.customBaseURL = server.baseURL() + "/c";
        });
    }
};

TEST(TranslationCoordinator, RequiredUpdateAndBlankInputAnswerWithoutARequest) {
    Engine e;
    const TranslationOutcome empty{
        TranslationOutcome::EmptyInput{"翻訳するテキストを入力してください"}};
    for (const std::string blank : {"", " \n\t \r\n", "\u3000\u3000"})
        EXPECT_EQ(e.translate(blank), empty);
    const std::string url = "https://example.invalid/update";
    e.store.update([&](VelaConfig& c) {
        c.forceUpdateBlocked = true;
        c.forceUpdateMessage = "";
        c.forceUpdateURL = url;
    });
    const TranslationOutcome blocked{TranslationOutcome::ForceUpdateRequired{
        "現在のバージョンはサポート終了となりました。最新バージョンへアップデートしてください。",
        url}};
    EXPECT_EQ(e.translate(""), blocked);
    EXPECT_EQ(e.translate("hello"), blocked);
    e.store.update([](VelaConfig& c) { c.forceUpdateMessage = " "; });
    EXPECT_EQ(e.translate("hello"),
              (TranslationOutcome{TranslationOutcome::ForceUpdateRequired{" ", url}}));
    EXPECT_EQ(e.server.requestCount(), 0u);
}

TEST(TranslationCoordinator, TrimmedTextGoesInTheResolvedPair) {
    Engine e;
    e.store.update([](VelaConfig& c) {
        c.sourceLanguage = "en";
        c.targetLanguage = "zh";
    });
    const std::string ja = "今日はとても良い天気ですね。";
    struct Case {
        std::string text;
        std::optional<std::string> source, target;
        bool manual;
        std::string sentPair, shownTarget;
    };
    const std::vector<Case> cases = {
        {"  hello\nworld \u3000", "auto", "ja", false, "sl=auto&tl=ja", "ja"},
        {ja, "auto", "ja", false, "sl=ja&tl=en", "en"},   // switched to English
        {ja, "auto", "ja", true, "sl=auto&tl=ja", "ja"},  // a manual target stays
        {"The sky.", std::nullopt, std::nullopt, false, "sl=en&tl=zh-CN", "zh"},  // stored
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const TranslationOutcome outcome = e.translate(c.text, c.source, c.target, c.manual);
        const auto* success = std::get_if<Success>(&outcome.value);
        ASSERT_NE(success, nullptr);
        EXPECT_EQ(*success, (Success{"translated", c.shownTarget, false, success->elapsedMs}));
        EXPECT_EQ(e.last().body.rfind(c.sentPair + "&q=", 0), 0u) << e.last().body;
    }
    EXPECT_EQ(e.last().param("q"), "The sky.");
    EXPECT_EQ(e.server.requests().front().param("q"), "hello\nworld");
}

TEST(TranslationCoordinator, ChannelFromSettingsAndEveryFailureItsMessage) {
    Engine e;
    e.useCustom("  \n ");  // a blank key keeps the builtin channel
    EXPECT_EQ(std::get<Success>(e.translate("hello").value).usedCustomChannel, false);
    EXPECT_EQ(e.last().path, kPrimary);

    e.useCustom(" sk-live ");
    struct Case {
        CannedResponse answer;
        std::optional<std::string> text;  // none: the failure message below
        std::string failure;
    };
    const std::vector<Case> cases = {
        {chat("custom"), "custom", ""},
        {chat(""), "", ""},  // passed on exactly, even when empty
        {{401, "{}"}, std::nullopt, kInvalidKey},
        {{402, "{}"}, std::nullopt, kInvalidKey},
        {{500, "{}"}, std::nullopt, kNetwork},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer.status);
        e.routes[kChat] = c.answer;
        const std::size_t before = e.server.requestCount();
        const TranslationOutcome outcome = e.translate("hello");
        if (c.text) {
            ASSERT_TRUE(outcome.isSuccess());
            EXPECT_EQ(std::get<Success>(outcome.value).translatedText, *c.text);
            EXPECT_TRUE(std::get<Success>(outcome.value).usedCustomChannel);
        } else {
            EXPECT_EQ(outcome, (TranslationOutcome{TranslationOutcome::Failure{c.failure}}));
        }
        EXPECT_EQ(e.server.requestCount(), before + 1);  // no builtin attempt after a failure
        EXPECT_EQ(e.last().path, kChat);
        EXPECT_EQ(e.last().header("Authorization"), "Bearer sk-live");
    }
    // An answer without a request still reports at least 1 ms.
    e.useCustom("sk-qrtx-pilot-sandbox1");
    EXPECT_GE(std::get<Success>(e.translate("hello").value).elapsedMs, 1);

    e.useCustom("");
    e.routes[kPrimary] = {500, "{}"};
    EXPECT_EQ(e.translate("hello"), (TranslationOutcome{TranslationOutcome::Failure{kNetwork}}));
}

TEST(TranslationCoordinator, ConnectionTestTouchesNoSettings) {
    Engine e;
    const VelaConfig before = e.store.config();
    const std::string base = e.server.baseURL() + "/c";
    e.routes[kChat] = chat("こんにちは");
    EXPECT_EQ(e.coordinator.testConnection(base, " good ", ""),
              ConnectionTestResult(std::string("接続テスト成功")));
    const nlohmann::json body = nlohmann::json::parse(e.last().body);
    EXPECT_EQ(body["messages"][1]["content"], "Hello");
    EXPECT_NE(body["messages"][0]["content"].get<std::string>().find("Japanese (日本語)"),
              std::string::npos);
    EXPECT_EQ(e.last().header("Authorization"), "Bearer good");
    e.routes[kChat] = {401, "{}"};
    EXPECT_EQ(e.coordinator.testConnection(base, "wrong", ""),
              ConnectionTestResult(ConnectionTestError{kInvalidKey}));
    e.routes[kChat] = {500, "{}"};
    EXPECT_EQ(e.coordinator.testConnection(base, "key", ""),
              ConnectionTestResult(ConnectionTestError{kNetwork}));
    EXPECT_EQ(e.store.config(), before);
}

TEST(TranslationCoordinator, CancellationStopsTheTransferInFlight) {
    Engine e;
    test::CannedResponse never;
    never.hold = true;
    e.routes[kPrimary] = never;
    e.routes["/b/get"] = {200, R"({"responseData":{"translatedText":"late"}})"};
    std::optional<TranslationOutcome> outcome;
    std::jthread worker([&](std::stop_token stop) {
        outcome = e.coordinator.translate("Hello", "en", "ja", false, stop);
    });
    EXPECT_TRUE(test::waitUntil([&] { return e.server.requestCount() == 1; }));
    worker.request_stop();
    worker.join();  // returns although the server still holds the request
    EXPECT_EQ(outcome, (TranslationOutcome{TranslationOutcome::Failure{kNetwork}}));
    EXPECT_EQ(e.server.requestCount(), 1u);  // a cancelled request does not move on

    // A token stopped before the call makes no request at all.
    std::stop_source early;
    early.request_stop();
    EXPECT_FALSE(
        e.coordinator.translate("Hello", "en", "ja", false, early.get_token()).isSuccess());
    EXPECT_EQ(e.server.requestCount(), 1u);
}

}  // namespace
}  // namespace vela
