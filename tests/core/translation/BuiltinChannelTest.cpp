#include "core/translation/HTTPTranslationTransport.h"

#include <gtest/gtest.h>

#include <thread>

#include "core/support/UnicodeText.h"
#include "core/translation/TranslationCoordinator.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempDir.h"

namespace vela {
namespace {

using test::CannedResponse;
using test::LoopbackHttpServer;
using test::RecordedRequest;

const TransportError kUnreachable =
    TranslationTransportError::networkFailure("Builtin endpoints unreachable");

CannedResponse gtx(const std::string& json) {
    return {200, json};
}
CannedResponse myMemory(const std::string& text) {
    return {200, R"({"responseData":{"translatedText":)" + test::jsonString(text) +
                     R"(,"match":1},"responseStatus":200})"};
}

struct Services {
    LoopbackHttpServer primary;
    LoopbackHttpServer backup;
    HTTPTranslationTransport transport{primary.baseURL(), backup.baseURL()};

    Services(LoopbackHttpServer::Handler p, LoopbackHttpServer::Handler b)
        : primary(std::move(p)), backup(std::move(b)) {}
    TransportResult<std::string> translate(const std::string& text, const std::string& source,
                                           const std::string& target) {
        return transport.translateBuiltin(text, source, target, {});
    }
};

TEST(BuiltinChannel, PrimaryRequestFormat) {
    Services s(
        [](const RecordedRequest&) { return gtx(R"([[["Hallo ",null],[" Welt! "]],null])"); },
        [](const RecordedRequest&) { return myMemory("unused"); });
    const std::string text = "it's a \"test\" & 1+1=2\nnew line 😀 日本語 %20";
    auto result = s.translate(text, "auto", "zh");
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.value(), "Hallo  Welt!");  // joined as they are, then trimmed

    ASSERT_EQ(s.primary.requestCount(), 1u);
    EXPECT_EQ(s.backup.requestCount(), 0u);
    const RecordedRequest r = s.primary.requests()[0];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.path, "/translate_a/single");
    EXPECT_EQ(r.target, "/translate_a/single?client=gtx&dt=t");
    EXPECT_EQ(r.header("Content-Type"), "application/x-www-form-urlencoded; charset=utf-8");
    EXPECT_EQ(r.header("User-Agent"), "Mozilla/5.0 (Macintosh; Intel Mac OS X 14_0)");
    EXPECT_FALSE(r.hasHeader("Cookie"));
    EXPECT_EQ(r.param("sl"), "auto");
    EXPECT_EQ(r.param("tl"), "zh-CN");
    EXPECT_EQ(r.param("q"), text);
    EXPECT_EQ(r.body.rfind("sl=auto&tl=zh-CN&q=", 0), 0u) << r.body;
}

TEST(BuiltinChannel, BackupUsedWhenPrimaryFails) {
    const std::vector<CannedResponse> primaryFailures = {
        {429, "{}"},
        {503, "busy"},
        gtx(R"([[[1],[null],[]]])"),   // segments without strings
        gtx(R"([[["   \n"]]])"),       // only whitespace
        gtx("<html>not json</html>"),  // parser error
        gtx(R"({"sentences":[]})"),    // wrong nesting
        gtx(R"([])"),
        gtx(R"(["a"])"),
        CannedResponse(302, "", "text/plain"),  // redirect without target: not a translation
    };
    for (std::size_t i = 0; i < primaryFailures.size(); ++i) {
        SCOPED_TRACE(i);
        const CannedResponse failure = primaryFailures[i];
        Services s([&](const RecordedRequest&) { return failure; },
                   [](const RecordedRequest&) { return myMemory("  Bonjour\n"); });
        auto result = s.translate("Hello", "auto", "ja");
        ASSERT_TRUE(result.ok());
        EXPECT_EQ(result.value(), "Bonjour");
        ASSERT_EQ(s.backup.requestCount(), 1u);
        const RecordedRequest r = s.backup.requests()[0];
        EXPECT_EQ(r.method, "GET");
        EXPECT_EQ(r.path, "/get");
        EXPECT_EQ(r.param("q"), "Hello");
        EXPECT_EQ(r.param("langpair"), "en|ja");  // "auto" is sent as English
        EXPECT_FALSE(r.hasHeader("User-Agent"));
        EXPECT_FALSE(r.hasHeader("Content-Type"));
        EXPECT_EQ(r.target.find("?q="), 4u);  // q first, then langpair
    }
}

TEST(BuiltinChannel, ChineseCodesAndLongTexts) {
    Services s(
        [](const RecordedRequest&) {
            return CannedResponse{500, "down"};
        },
        [](const RecordedRequest&) { return myMemory("ok"); });
    // 2,000 user-perceived characters; ten of them are two scalars each
    // (e + combining acute) and sit across the 1,500 mark.
    std::string text(1495, 'a');
    for (int i = 0; i < 10; ++i)
        text += "e\u0301";
    text += std::string(495, 'b');
    ASSERT_TRUE(s.translate(text, "zh", "zh").ok());
    const RecordedRequest primary = s.primary.requests().at(0);
    EXPECT_EQ(primary.param("q"), text);
    EXPECT_EQ(primary.param("sl"), "zh-CN");
    EXPECT_EQ(primary.param("tl"), "zh-CN");
    const RecordedRequest backup = s.backup.requests().at(0);
    EXPECT_EQ(graphemeClusters(backup.param("q")).size(), 1500u);
    std::string expected(1495, 'a');
    for (int i = 0; i < 5; ++i)
        expected += "e\u0301";
    EXPECT_EQ(backup.param("q"), expected);
    EXPECT_EQ(backup.param("langpair"), "zh-CN|zh-CN");

    // Broken UTF-8 goes out as replacement characters, never as raw bytes.
    ASSERT_TRUE(s.translate("ab\xff\xfe", "en", "ja").ok());
    EXPECT_EQ(s.primary.requests().at(1).param("q"), "ab\uFFFD\uFFFD");
    EXPECT_EQ(s.backup.requests().at(1).param("langpair"), "en|ja");
}

TEST(BuiltinChannel, BothServicesDownIsOneError) {
    const std::vector<std::pair<CannedResponse, CannedResponse>> cases = {
        {{500, "x"}, {500, "x"}},
        {gtx("[[]]"), {200, R"({"responseData":{"translatedText":42}})"}},
        {gtx("nope"), {200, "nope"}},
        {{404, ""}, {200, R"({"responseData":"text"})"}},
        {{200, "[[[\"\"]]]"}, myMemory("   ")},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        const auto answers = cases[i];
        Services s([&](const RecordedRequest&) { return answers.first; },
                   [&](const RecordedRequest&) { return answers.second; });
        auto result = s.translate("Hello", "en", "ja");
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error(), kUnreachable);
        EXPECT_EQ(s.primary.requestCount(), 1u);
        EXPECT_EQ(s.backup.requestCount(), 1u);
    }
}

TEST(BuiltinChannel, UnusableEndpoints) {
    // Nothing listens on a port whose server is gone.
    std::string closedBase;
    {
        LoopbackHttpServer gone([](const RecordedRequest&) { return CannedResponse{}; });
        closedBase = gone.baseURL();
    }
    HTTPTranslationTransport refused(closedBase, closedBase);
    auto result = refused.translateBuiltin("Hello", "en", "ja", {});
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error(), kUnreachable);

    HTTPTranslationTransport malformed("not a url", "::");
    EXPECT_EQ(malformed.translateBuiltin("Hello", "en", "ja", {}).error(), kUnreachable);
}

TEST(BuiltinChannel, OversizedAndRedirectedAnswersAreRefused) {
    // A body over the cap is dropped like a transfer error, and a redirect to a
    // local file is not followed; both leave the work to the backup.
    const std::string huge = "[[[\"" + std::string(9 * 1024 * 1024, 'a') + "\"]]]";
    Services big([&](const RecordedRequest&) { return gtx(huge); },
                 [](const RecordedRequest&) { return myMemory("small"); });
    auto result = big.translate("Hello", "en", "ja");
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.value(), "small");

    test::TempDir dir;
    const std::filesystem::path local = dir / "answer.json";
    test::writeFile(local, R"([[["from a local file"]]])");
    Services redirect(
        [&](const RecordedRequest&) {
            return CannedResponse{
                302, "", "text/plain", {{"Location", "file://" + local.string()}}};
        },
        [](const RecordedRequest&) { return myMemory("fallback"); });
    result = redirect.translate("Hello", "en", "ja");
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.value(), "fallback");
}

TEST(BuiltinChannel, CancellationInFlightStopsTheTransfer) {
    test::TempDir dir;
    ConfigStore store(dir / "config.json");
    LoopbackHttpServer primary([](const RecordedRequest&) {
        CannedResponse never;
        never.hold = true;
        return never;
    });
    LoopbackHttpServer backup([](const RecordedRequest&) { return myMemory("late"); });
    TranslationCoordinator coordinator(
        store, std::make_unique<HTTPTranslationTransport>(primary.baseURL(), backup.baseURL()));

    std::stop_source stop;
    std::optional<TranslationOutcome> outcome;
    std::thread worker(
        [&] { outcome = coordinator.translate("Hello", "en", "ja", false, stop.get_token()); });
    primary.waitForRequests(1);
    stop.request_stop();
    worker.join();  // returns although the server still holds the request

    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(*outcome,
              (TranslationOutcome{TranslationOutcome::Failure{
                  "ネットワーク接続に失敗しました。通信環境をご確認の上、再試行してください"}}));
    EXPECT_EQ(backup.requestCount(), 0u);  // a cancelled request does not move on

    // A token stopped before the call makes no request at all.
    std::stop_source early;
    early.request_stop();
    EXPECT_FALSE(coordinator.translate("Hello", "en", "ja", false, early.get_token()).isSuccess());
    EXPECT_EQ(primary.requestCount(), 1u);
}

}  // namespace
}  // namespace vela
