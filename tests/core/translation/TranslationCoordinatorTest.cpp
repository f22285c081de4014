#include "core/translation/TranslationCoordinator.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <thread>

#include "core/support/UnicodeText.h"
#include "core/translation/HTTPTranslationTransport.h"
#include "core/translation/TranslationMessages.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/Wait.h"

namespace vela {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using test::CannedResponse;
using Success = TranslationOutcome::Success;
using Answers = std::vector<std::pair<CannedResponse, std::string>>;

const std::string kPrimary = "/p/translate_a/single", kBackup = "/b/get",
                  kChat = "/c/v1/chat/completions";
const std::string kNetwork(messages::networkFailure), kInvalidKey(messages::invalidApiKey);
const std::string kDeep = std::string(100000, '[') + std::string(100000, ']');

CannedResponse chat(const std::string& text) {
    return {200, R"({"choices":[{"message":{"content":)" + test::jsonString(text) + "}}]}"};
}
CannedResponse myMemory(const std::string& text) {
    return {200, R"({"responseData":{"translatedText":)" + test::jsonString(text) + "}}"};
}

// What the user sees: the translation, or the message in its place.
std::string shown(const TranslationOutcome& outcome) {
    if (const auto* success = std::get_if<Success>(&outcome.value))
        return success->translatedText;
    const auto* failure = std::get_if<TranslationOutcome::Failure>(&outcome.value);
    return failure ? failure->message
                   : std::get<TranslationOutcome::EmptyInput>(outcome.value).message;
}

// The coordinator over the real transport; one loopback server plays the builtin primary
// (under /p), its backup (/b) and the custom service (/c), 404 where nothing is routed.
struct Engine {
    test::TempDir dir;
    ConfigStore store{dir / "config.json"};
    std::map<std::string, CannedResponse> routes{{kPrimary, {200, R"([[["translated"]]])"}}};
    test::LoopbackHttpServer server{test::LoopbackHttpServer::routedBy(routes)};
    // Short limits: a fault that leaves a request waiting fails in seconds.
    TranslationCoordinator coordinator{
        store,
        std::make_unique<HTTPTranslationTransport>(
            server.baseURL() + "/p", server.baseURL() + "/b",
            HTTPTransportTimeouts{.builtinIdle = 2s, .customIdle = 2s, .translationTotal = 4s})};

    TranslationOutcome translate(const std::string& text, const std::string& source = "auto",
                                 const std::string& target = "ja", bool manual = false) {
        return coordinator.translate(text, source, target, manual);
    }
    // The custom channel with this key, at the loopback service unless `base` says otherwise.
    void useCustom(const std::string& key, const std::string& base = "",
                   const std::string& model = "m") {
        store.update([&](VelaConfig& c) {
            c.channelMode = TranslationChannelMode::custom;
            c.customApiKey = key;
            c.customBaseURL = base.empty() ? server.baseURL() + "/c" : base;
            c.customModel = model;
        });
    }
    // Translates once per answer on `path`; the backup is asked too when it is `path` or the
    // translation is its "backup".
    void expectEach(const std::string& path, const Answers& answers) {
        for (std::size_t i = 0; i < answers.size(); ++i) {
            SCOPED_TRACE(path + " answer " + std::to_string(i));
            routes[path] = answers[i].first;
            const std::size_t before = server.requestCount(), asked = server.requests(path).size();
            EXPECT_EQ(shown(translate("Hello")), answers[i].second);
            EXPECT_EQ(server.requests(path).size(), asked + 1);
            const bool both = path == kBackup || answers[i].second == "backup";
            EXPECT_EQ(server.requestCount(), before + (both ? 2 : 1));
        }
    }
};

TEST(TranslationCoordinator, RequestsCarryTheTrimmedTextInTheResolvedPair) {
    Engine e;
    e.routes = {{kPrimary, {500, "down"}}, {kBackup, myMemory("ok")}, {kChat, chat("ok")}};
    e.store.update([](VelaConfig& c) {
        c.sourceLanguage = "en";
        c.targetLanguage = "zh";
    });
    // Characters that need escaping, then ten "e" + combining acute (two scalars, one
    // character each) across the backup's limit of 1,500 characters.
    const std::string head = "it's a \"test\" & 1+1=2\nnew line 😀 日本語 %20 ";
    std::string text = head + std::string(1495 - graphemeClusters(head).size(), 'a');
    const std::string upToLimit = text + "e\u0301e\u0301e\u0301e\u0301e\u0301";
    text = upToLimit + upToLimit.substr(text.size()) + std::string(495, 'b');
    const std::string ja = "今日はとても良い天気ですね。", broken = "ab\xff\xfe";
    using Language = std::optional<std::string>;
    struct Case {
        std::string text;
        Language source, target;
        bool manual;
        std::string primary, backup, shownTarget;  // "sl tl q", "langpair q"
    };
    for (const Case& c : std::vector<Case>{
             {"  hello\nworld \u3000", "auto", "ja", false, "auto ja hello\nworld",
              "en|ja hello\nworld", "ja"},  // "auto" goes to the backup as English
             {ja, "auto", "ja", false, "ja en " + ja, "ja|en " + ja, "en"},   // switched
             {ja, "auto", "ja", true, "auto ja " + ja, "en|ja " + ja, "ja"},  // manual stays
             {"Sky", std::nullopt, std::nullopt, false, "en zh-CN Sky", "en|zh-CN Sky", "zh"},
             {broken, "zh", "ja", false, "zh-CN ja ab\uFFFD\uFFFD", "zh-CN|ja ab\uFFFD\uFFFD",
              "ja"},
             {text, "auto", "zh", false, "auto zh-CN " + text, "en|zh-CN " + upToLimit, "zh"}}) {
        SCOPED_TRACE(c.text.substr(0, 20));
        const auto success =
            std::get<Success>(e.coordinator.translate(c.text, c.source, c.target, c.manual).value);
        EXPECT_EQ(success.targetLanguage, c.shownTarget);
        EXPECT_FALSE(success.usedCustomChannel);
        const auto primary = e.server.requests(kPrimary).back();
        const auto backup = e.server.requests(kBackup).back();
        EXPECT_EQ(primary.param("sl") + " " + primary.param("tl") + " " + primary.param("q"),
                  c.primary);
        EXPECT_EQ(backup.param("langpair") + " " + backup.param("q"), c.backup);
    }
    const auto primary = e.server.requests(kPrimary).back();
    const auto backup = e.server.requests(kBackup).back();
    EXPECT_EQ(primary.method + " " + primary.target, "POST " + kPrimary + "?client=gtx&dt=t");
    EXPECT_EQ(primary.header("Content-Type"), "application/x-www-form-urlencoded; charset=utf-8");
    EXPECT_EQ(primary.header("User-Agent"), "Mozilla/5.0 (Macintosh; Intel Mac OS X 14_0)");
    EXPECT_EQ(primary.body.rfind("sl=auto&tl=zh-CN&q=", 0), 0u) << primary.body;
    EXPECT_EQ(backup.method, "GET");
    EXPECT_EQ(backup.target.rfind(kBackup + "?q=", 0), 0u);  // q first, then langpair
    EXPECT_FALSE(backup.hasHeader("User-Agent") || backup.hasHeader("Content-Type"));

    // The custom service: the typed base URL completed, the key trimmed, the default model
    // for a blank one, a prompt naming the target language.
    e.useCustom(" \tsk-abc \n", " " + e.server.baseURL() + "/c/v1/ ", "   ");
    EXPECT_EQ(shown(e.translate(" it's\nline two 😀 ", "auto", "ko", true)), "ok");
    const auto sent = e.server.requests(kChat).at(0);
    EXPECT_EQ(sent.method + " " + sent.header("Content-Type"), "POST application/json");
    EXPECT_EQ(sent.header("Authorization"), "Bearer sk-abc");
    const std::string prompt =
        "You are Vela, a concise, natural translator. Translate the user's input into natural "
        "Korean (한국어). Output ONLY the translation without explanations.";
    EXPECT_EQ(
        json::parse(sent.body),
        (json{{"model", "deepseek-chat"},
              {"temperature", 0.2},
              {"messages", json::array({{{"role", "system"}, {"content", prompt}},
                                        {{"role", "user"}, {"content", "it's\nline two 😀"}}})}}));
}

TEST(TranslationCoordinator, EveryAnswerBecomesTheTranslationOrItsMessage) {
    Engine e;
    test::TempDir dir;
    test::writeFile(dir / "answer.json", R"([[["from a local file"]]])");
    const std::string local = "file://" + (dir / "answer.json").string();
    e.routes[kBackup] = myMemory("  backup\n");
    e.expectEach(kPrimary, {{{200, R"([[["Hallo ",null],[" Welt! "]],null])"}, "Hallo  Welt!"},
                            {{200, R"([[["\u0000 訳\u0000",1],["文\u0000"]]])"}, "訳文"},
                            {{429, "{}"}, "backup"},
                            {{302, "", "text/plain", {{"Location", local}}}, "backup"},
                            {{200, "[[[\"" + std::string(9 << 20, 'a') + "\"]]]"}, "backup"},
                            {{200, "<html>not json</html>"}, "backup"},
                            {{200, R"([[["primary"]],)" + kDeep + "]"}, "backup"},
                            {{200, R"([[[1],[null],[]]])"}, "backup"},
                            {{200, R"([[["   \n"]]])"}, "backup"},
                            {{200, R"(["a"])"}, "backup"}});
    e.routes[kPrimary] = {500, "down"};
    e.expectEach(kBackup, {{{200, R"({"responseData":{"translatedText":"a\u0000b"}})"}, "ab"},
                           {{500, "x"}, kNetwork},
                           {{200, "nope"}, kNetwork},
                           {myMemory("   "), kNetwork},
                           {{200, R"({"responseData":{"translatedText":"b"},"x":)" + kDeep + "}"},
                            kNetwork}});

    e.useCustom("  \n ");  // a blank key keeps the builtin channel
    e.routes[kPrimary] = {200, R"([[["builtin"]]])"};
    EXPECT_EQ(shown(e.translate("Hello")), "builtin");
    e.useCustom("key");  // never a builtin attempt, also after a failure
    e.expectEach(
        kChat,
        {{chat(" \n訳文です\n"), "訳文です"},
         {chat(""), ""},
         {{200, R"({"choices":[{"message":{"content":"\u0000 x\u0000y "}}]})"}, "xy"},
         {{401, "{}"}, kInvalidKey},
         {{402, R"({"error":"balance"})"}, kInvalidKey},
         {{403, "forbidden", "text/plain"}, kInvalidKey},
         {{404, "{}"}, kNetwork},
         {{500, "{}"}, kNetwork},
         {{200, "not json", "text/plain"}, kNetwork},
         {{200, R"({"choices":[{"message":{"content":"x"}}, 3]})"}, kNetwork},
         {{200, R"({"choices":[{"message":{"content":"c"}}],"x":)" + kDeep + "}"}, kNetwork}});
    e.routes[kChat] = chat("custom");
    EXPECT_TRUE(std::get<Success>(e.translate("Hello").value).usedCustomChannel);
}

TEST(TranslationCoordinator, BlankTextKeysAndAddressesDecidedWithoutARequest) {
    Engine e;
    for (const std::string blank : {"", " \n\t \r\n", "\u3000\u3000"})
        EXPECT_EQ(shown(e.translate(blank)), messages::emptyInput);
    const std::string demo(HTTPTranslationTransport::demonstrationKey);
    const ConnectionTestResult succeeded{std::string(messages::connectionTestSucceeded)},
        refused{ConnectionTestError{kInvalidKey}};
    const auto tested = [&](const std::string& key) {
        return e.coordinator.testConnection(e.server.baseURL() + "/c", key, "");
    };
    e.useCustom(" " + demo + " ", "::");
    EXPECT_EQ(shown(e.translate("A b", "auto", "en", true)),
              "[Custom AI Unlimited] Translated: A b");
    // An answer without a request still reports at least 1 ms.
    const TranslationOutcome demoJa = e.translate("テキスト", "auto", "ja", true);
    EXPECT_EQ(shown(demoJa), std::string(messages::demoPrefixOther) + "テキスト");
    EXPECT_GE(std::get<Success>(demoJa.value).elapsedMs, 1);
    EXPECT_EQ(tested(demo), succeeded);
    EXPECT_EQ(tested(" \n "), refused);
    // A key with a control character that would break the header line.
    for (const std::string key :
         {"sk-a\r\nX-Injected: 1", "sk-a\nb", "sk\tb", "sk-\x7f", "sk-\u0085x"}) {
        SCOPED_TRACE(key);
        e.useCustom(key);
        EXPECT_EQ(shown(e.translate("Hello")), kInvalidKey);
        EXPECT_EQ(tested(key), refused);
    }
    e.useCustom("key", "::not a url::");
    EXPECT_EQ(shown(e.translate("Hello")), kNetwork);
    EXPECT_EQ(e.server.requestCount(), 0u);

    // The connection test asks the service to translate "Hello" and touches no settings.
    const VelaConfig before = e.store.config();
    e.routes[kChat] = chat("こんにちは");
    EXPECT_EQ(e.coordinator.testConnection(e.server.baseURL() + "/c", " good ", " m-1 "),
              succeeded);
    const test::RecordedRequest sent = e.server.requests(kChat).at(0);
    const json body = json::parse(sent.body);
    EXPECT_EQ(body["messages"][1]["content"], "Hello");
    EXPECT_EQ(body["model"], " m-1 ");  // a model with real characters goes as typed
    EXPECT_EQ(sent.header("Authorization"), "Bearer good");
    e.routes[kChat] = {401, "{}"};
    EXPECT_EQ(tested("wrong"), refused);
    EXPECT_EQ(e.store.config(), before);

    // A required update without a message of its own blocks with the default one.
    e.store.update([](VelaConfig& c) { c.forceUpdateBlocked = true; });
    const TranslationOutcome blocked{TranslationOutcome::ForceUpdateRequired{
        std::string(messages::forceUpdateDefault), e.store.config().forceUpdateURL}};
    EXPECT_EQ(e.translate(""), blocked);
    EXPECT_EQ(e.translate("hello"), blocked);
}

TEST(TranslationCoordinator, CancellationStopsTheTransferInFlight) {
    Engine e;
    e.routes[kPrimary].hold = true;
    e.routes[kBackup] = myMemory("late");
    std::optional<TranslationOutcome> outcome;
    std::jthread worker([&](std::stop_token stop) {
        outcome = e.coordinator.translate("Hello", "en", "ja", false, stop);
    });
    EXPECT_TRUE(test::waitUntil([&] { return e.server.requestCount() == 1; }));
    worker.request_stop();
    worker.join();  // returns although the server still holds the request
    EXPECT_EQ(shown(outcome.value()), kNetwork);
    // A cancelled request does not move on, and a token stopped before the call makes none.
    std::stop_source early;
    early.request_stop();
    EXPECT_EQ(shown(e.coordinator.translate("Hello", "en", "ja", false, early.get_token())),
              kNetwork);
    EXPECT_EQ(e.server.requestCount(), 1u);
}

}  // namespace
}  // namespace vela
