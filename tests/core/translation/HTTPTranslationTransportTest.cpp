#include "core/translation/HTTPTranslationTransport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <optional>

#include "core/support/UnicodeText.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempDir.h"

namespace vela {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using test::CannedResponse;
using test::LoopbackHttpServer;
using test::RecordedRequest;
using Transport = HTTPTranslationTransport;
using Text = TransportResult<std::string>;

const std::string kPrimary = "/p/translate_a/single", kBackup = "/b/get",
                  kChat = "/c/v1/chat/completions";
const Text kUnreachable =
    TranslationTransportError::networkFailure("Builtin endpoints unreachable");
const Text kBadFormat = TranslationTransportError::networkFailure("Invalid response format");
const Text kBadKey = TranslationTransportError::invalidApiKey();
const std::string kDeep = std::string(100000, '[') + std::string(100000, ']');

CannedResponse myMemory(const std::string& text) {
    return {200, R"({"responseData":{"translatedText":)" + test::jsonString(text) + "}}"};
}
CannedResponse chat(const std::string& text) {
    return {200, R"({"choices":[{"message":{"role":"assistant","content":)" +
                     test::jsonString(text) + "}}]}"};
}
std::string times(int count, const std::string& piece) {
    std::string out;
    while (count-- > 0)
        out += piece;
    return out;
}

// One loopback server plays every service, each under its own prefix: the builtin primary
// under /p, its backup under /b and a chat-completions service under /c.
struct Services {
    std::map<std::string, CannedResponse> routes;
    LoopbackHttpServer server{LoopbackHttpServer::routedBy(routes)};
    Transport transport{at("/p"), at("/b")};

    std::string at(const std::string& prefix) const { return server.baseURL() + prefix; }
    std::vector<RecordedRequest> to(const std::string& path) const {
        std::vector<RecordedRequest> found;
        for (const RecordedRequest& r : server.requests()) {
            if (r.path == path)
                found.push_back(r);
        }
        return found;
    }
    Text custom(const std::string& key, const std::string& base) {
        return transport.translateCustom("text", "auto", "ja", base, key, "", {});
    }
};

TEST(BuiltinChannel, PrimaryFirstThenBackupThenOneError) {
    test::TempDir dir;
    test::writeFile(dir / "answer.json", R"([[["from a local file"]]])");
    const std::string local = "file://" + (dir / "answer.json").string();
    const CannedResponse deep{200, R"([[["primary"]],)" + kDeep + "]"};
    struct Case {
        const char* name;
        CannedResponse primary, backup;
        std::optional<std::string> expected;  // none: both failed
    };
    const std::vector<Case> cases = {
        {"segments joined, then trimmed",
         {200, R"([[["Hallo ",null],[" Welt! "]],null])"},
         {},
         "Hallo  Welt!"},
        {"NUL dropped", {200, R"([[["\u0000 訳\u0000",1],["文\u0000"]]])"}, {}, "訳文"},
        {"busy", {429, "{}"}, myMemory("  Bonjour\n"), "Bonjour"},
        {"redirect without target", {302, "", "text/plain"}, myMemory("b"), "b"},
        {"redirect to a file", {302, "", "text/plain", {{"Location", local}}}, myMemory("b"), "b"},
        {"over the size cap",
         {200, "[[[\"" + std::string(9 << 20, 'a') + "\"]]]"},
         myMemory("b"),
         "b"},
        {"not JSON", {200, "<html>not json</html>"}, myMemory("b"), "b"},
        {"nested too deep, backup NUL dropped",
         deep,
         {200, R"({"responseData":{"translatedText":"a\u0000b"}})"},
         "ab"},
        {"segments without strings", {200, R"([[[1],[null],[]]])"}, myMemory("b"), "b"},
        {"only whitespace", {200, R"([[["   \n"]]])"}, myMemory("b"), "b"},
        {"an object", {200, R"({"sentences":[]})"}, myMemory("b"), "b"},
        {"no segment list", {200, R"(["a"])"}, myMemory("b"), "b"},
        {"both statuses", {500, "x"}, {500, "x"}, std::nullopt},
        {"text not a string",
         {200, "[[]]"},
         {200, R"({"responseData":{"translatedText":42}})"},
         std::nullopt},
        {"data not an object", {404, ""}, {200, R"({"responseData":"text"})"}, std::nullopt},
        {"both not JSON", {200, "nope"}, {200, "nope"}, std::nullopt},
        {"both blank", {200, R"([[[""]]])"}, myMemory("   "), std::nullopt},
        {"both too deep",
         deep,
         {200, R"({"responseData":{"translatedText":"b"},"x":)" + kDeep + "}"},
         std::nullopt},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        Services s;
        s.routes = {{kPrimary, cases[i].primary}, {kBackup, cases[i].backup}};
        EXPECT_EQ(s.transport.translateBuiltin("Hello", "auto", "ja", {}),
                  cases[i].expected ? Text(*cases[i].expected) : kUnreachable);
        EXPECT_EQ(s.to(kPrimary).size(), 1u);
        EXPECT_EQ(s.to(kBackup).size(), i < 2 ? 0u : 1u);
    }
}

TEST(BuiltinChannel, RequestsCarryEachServicesFormat) {
    Services s;
    s.routes = {{kPrimary, {500, "down"}}, {kBackup, myMemory("ok")}};
    // Characters that need escaping, then ten "e" + combining acute (two scalars, one
    // character each) across the backup's limit of 1,500 characters.
    const std::string head = "it's a \"test\" & 1+1=2\nnew line 😀 日本語 %20 ";
    const std::string upToLimit = head + std::string(1495 - graphemeClusters(head).size(), 'a');
    const std::string text = upToLimit + times(10, "e\u0301") + std::string(495, 'b');
    ASSERT_EQ(s.transport.translateBuiltin(text, "auto", "zh", {}), Text(std::string("ok")));
    ASSERT_EQ(s.transport.translateBuiltin("ab\xff\xfe", "zh", "ja", {}), Text(std::string("ok")));
    const auto primary = s.to(kPrimary), backup = s.to(kBackup);
    ASSERT_EQ(primary.size(), 2u);
    ASSERT_EQ(backup.size(), 2u);
    EXPECT_EQ(primary[0].method, "POST");
    EXPECT_EQ(primary[0].target, kPrimary + "?client=gtx&dt=t");
    EXPECT_EQ(primary[0].header("Content-Type"),
              "application/x-www-form-urlencoded; charset=utf-8");
    EXPECT_EQ(primary[0].header("User-Agent"), "Mozilla/5.0 (Macintosh; Intel Mac OS X 14_0)");
    EXPECT_EQ(primary[0].body.rfind("sl=auto&tl=zh-CN&q=", 0), 0u) << primary[0].body;
    EXPECT_EQ(primary[0].param("q"), text);
    EXPECT_EQ(backup[0].method, "GET");
    EXPECT_EQ(backup[0].target.rfind(kBackup + "?q=", 0), 0u);  // q first, then langpair
    EXPECT_FALSE(backup[0].hasHeader("User-Agent") || backup[0].hasHeader("Content-Type"));
    EXPECT_EQ(backup[0].param("q"), upToLimit + times(5, "e\u0301"));
    EXPECT_EQ(backup[0].param("langpair"), "en|zh-CN");  // "auto" goes as English
    // Broken UTF-8 goes out as replacement characters; "zh" is "zh-CN" on both sides.
    EXPECT_EQ(primary[1].param("q"), "ab\uFFFD\uFFFD");
    EXPECT_EQ(primary[1].param("sl"), "zh-CN");
    EXPECT_EQ(backup[1].param("q"), "ab\uFFFD\uFFFD");
    EXPECT_EQ(backup[1].param("langpair"), "zh-CN|ja");
}

TEST(CustomChannel, RequestCarriesTheChatCompletionsFormat) {
    for (const auto& [typed, full] : std::vector<std::pair<std::string, std::string>>{
             {"  https://api.example.com/v1/ \n", "https://api.example.com/v1/chat/completions"},
             {"https://h/openai", "https://h/openai/v1/chat/completions"},
             {"https://h/x/chat/completions///", "https://h/x/chat/completions"},
             {" ", "https://api.deepseek.com/v1/chat/completions"}}) {
        EXPECT_EQ(Transport::normalizeChatCompletionsURL(typed), full);
    }
    for (const auto& [code, name] : std::vector<std::pair<std::string, std::string>>{
             {"ja", "Japanese (日本語)"},
             {"en", "English"},
             {"zh", "Simplified Chinese (簡体字中国語)"},
             {"ko", "Korean (한국어)"},
             {"fr", "fr"}}) {
        EXPECT_EQ(Transport::languageDisplayName(code), name);
    }

    Services s;
    s.routes = {{kChat, chat("  안녕하세요\n")}};
    const std::string text = " it's\nline two 😀 ";
    EXPECT_EQ(s.transport.translateCustom(text, "auto", "ko", " " + s.at("/c/v1/") + " ",
                                          " \tsk-abc \n", "   ", {}),
              Text(std::string("안녕하세요")));
    // A model with real characters goes as typed; broken UTF-8 still makes valid JSON.
    EXPECT_TRUE(
        s.transport.translateCustom("x\xff", "en", "fr", s.at("/c"), "k", " m-1 ", {}).ok());
    const auto sent = s.to(kChat);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].method, "POST");
    EXPECT_EQ(sent[0].header("Content-Type"), "application/json");
    EXPECT_EQ(sent[0].header("Authorization"), "Bearer sk-abc");
    const std::string prompt =
        "You are Vela, a concise, natural translator. Translate the user's input into natural "
        "Korean (한국어). Output ONLY the translation without explanations.";
    EXPECT_EQ(json::parse(sent[0].body),
              (json{{"model", "deepseek-chat"},
                    {"temperature", 0.2},
                    {"messages", json::array({{{"role", "system"}, {"content", prompt}},
                                              {{"role", "user"}, {"content", text}}})}}));
    const json second = json::parse(sent[1].body);
    EXPECT_EQ(second["model"], " m-1 ");
    EXPECT_EQ(second["messages"][1]["content"], "x\uFFFD");
    EXPECT_NE(second["messages"][0]["content"].get<std::string>().find("natural fr."),
              std::string::npos);
}

TEST(CustomChannel, AnswersMapToTextOrTypedErrors) {
    const std::vector<std::pair<CannedResponse, Text>> cases = {
        {{401, "{}"}, kBadKey},
        {{402, R"({"error":"balance"})"}, kBadKey},
        {{403, "forbidden", "text/plain"}, kBadKey},
        {{404, "{}"}, TranslationTransportError::networkFailure("HTTP 404")},
        {{500, "{}"}, TranslationTransportError::networkFailure("HTTP 500")},
        {{200, R"({"choices":[]})"}, kBadFormat},
        {{200, "not json", "text/plain"}, kBadFormat},
        {{200, R"([1,2])"}, kBadFormat},
        {{200, R"({"choices":{"message":{"content":"x"}}})"}, kBadFormat},
        {{200, R"({"choices":[{"message":{"content":"x"}}, 3]})"}, kBadFormat},
        {{200, R"({"choices":[{}]})"}, kBadFormat},
        {{200, R"({"choices":[{"message":{}}]})"}, kBadFormat},
        {{200, R"({"choices":[{"message":{"content":null}}]})"}, kBadFormat},
        {{200, R"({"choices":[{"message":"hi"}]})"}, kBadFormat},
        {{200, R"({"choices":[{"message":{"content":"c"}}],"x":)" + kDeep + "}"}, kBadFormat},
        {{200, R"({"choices":[{"message":{"content":"\u0000 x\u0000y "}}]})"}, std::string("xy")},
        {chat(" \n訳文です\n"), std::string("訳文です")},
        {chat(""), std::string("")},
    };
    Services s;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        s.routes[kChat] = cases[i].first;
        EXPECT_EQ(s.custom("key", s.at("/c")), cases[i].second);
    }
}

TEST(CustomChannel, KeysAndAddressesDecidedWithoutARequest) {
    Services s;
    s.routes = {{kChat, chat("network")}};
    const std::string demo = "sk-qrtx-pilot-sandbox1";
    EXPECT_EQ(s.transport.translateCustom("A b ", "auto", "en", "::", " " + demo + " ", "", {}),
              Text(std::string("[Custom AI Unlimited] Translated: A b ")));
    EXPECT_EQ(s.transport.translateCustom("テキスト", "auto", "ja", s.at("/c"), demo, "", {}),
              Text(std::string("【カスタムAI無制限】翻訳結果：テキスト")));
    EXPECT_TRUE(s.transport.verifyCustomKey("", demo, "", {}).ok());
    // A blank key, or one with a control character that would break the header line.
    for (const std::string key :
         {" \n ", "sk-a\r\nX-Injected: 1", "sk-a\nb", "sk\tb", "sk-\x7f", "sk-\u0085x"}) {
        SCOPED_TRACE(key);
        EXPECT_EQ(s.custom(key, s.at("/c")), kBadKey);
        EXPECT_EQ(s.transport.verifyCustomKey(s.at("/c"), key, "", {}).error(), kBadKey.error());
    }
    EXPECT_EQ(s.custom("key", "::not a url::"),
              Text(TranslationTransportError::networkFailure("Invalid Base URL")));
    EXPECT_EQ(s.server.requestCount(), 0u);
}

TEST(HTTPTranslationTransport, UnreachableServicesAndIdleLimits) {
    std::string closed;
    {
        LoopbackHttpServer gone([](const RecordedRequest&) { return CannedResponse{}; });
        closed = gone.baseURL();
    }
    EXPECT_EQ(Transport(closed, closed).translateBuiltin("x", "en", "ja", {}), kUnreachable);
    EXPECT_EQ(Transport("not a url", "::").translateBuiltin("x", "en", "ja", {}), kUnreachable);
    const Text refused = Transport().translateCustom("x", "auto", "ja", closed, "k", "", {});
    ASSERT_FALSE(refused.ok());
    const auto& error = std::get<TranslationTransportError>(refused.error());
    EXPECT_EQ(error.kind(), TranslationTransportError::Kind::networkFailure);
    EXPECT_FALSE(error.detail().empty());

    // A silent service is given up when its idle limit runs out, far before the total one.
    const Transport::Timeouts limits{.builtinIdle = 300ms,
                                     .customIdle = 300ms,
                                     .translationTotal = 60s,
                                     .manifestIdle = 1000ms,
                                     .manifestTotal = 60s};
    Services s;
    CannedResponse silent;
    silent.hold = true;
    s.routes = {{kPrimary, silent}, {kBackup, myMemory("backup")}, {kChat, silent}};
    Transport transport(s.at("/p"), s.at("/b"), limits);
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(transport.translateBuiltin("x", "en", "ja", {}), Text(std::string("backup")));
    EXPECT_FALSE(transport.translateCustom("x", "auto", "ja", s.at("/c"), "k", "", {}).ok());
    EXPECT_LT(Clock::now() - start, limits.translationTotal);
}

TEST(HTTPTranslationTransport, ManifestsSlowButProgressingHostileOrWithNUL) {
    const auto manifest = [](const std::string& notes) {
        return CannedResponse{200, R"({"latestVersion":"0.1.0","minRequiredVersion":"0.1.0",)"
                                   R"("updateURL":"u","releaseNotes":)" +
                                       notes + "}"};
    };
    // Headers after a pause and the body after another: longer than the idle limit in all,
    // but never idle that long.
    CannedResponse slow = manifest(R"("late")");
    slow.delay = slow.bodyDelay = 600ms;
    Services s;
    s.routes = {{"/slow", slow},
                {"/deep", manifest(R"("n","x":)" + kDeep)},
                {"/nul", manifest(R"("no\u0000tes")")}};
    Transport transport("http://127.0.0.1:9", "http://127.0.0.1:9",
                        {.manifestIdle = 1000ms, .manifestTotal = 60s});
    EXPECT_EQ(transport.fetchRemoteManifest(s.at("/slow"), {}).value().releaseNotes, "late");
    EXPECT_TRUE(std::holds_alternative<DocumentDecodeError>(
        transport.fetchRemoteManifest(s.at("/deep"), {}).error()));
    EXPECT_EQ(transport.fetchRemoteManifest(s.at("/nul"), {}).value().releaseNotes, "notes");
}

}  // namespace
}  // namespace vela
