#include "core/translation/HTTPTranslationTransport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>

#include "tests/support/LoopbackHttpServer.h"

namespace vela {
namespace {

using namespace std::chrono_literals;
using test::CannedResponse;
using test::LoopbackHttpServer;
using test::RecordedRequest;
using Transport = HTTPTranslationTransport;

const TransportError kUnreachable =
    TranslationTransportError::networkFailure("Builtin endpoints unreachable");
const TransportError kInvalidFormat =
    TranslationTransportError::networkFailure("Invalid response format");

std::string chat(const std::string& contentLiteral) {
    return R"({"choices":[{"message":{"content":)" + contentLiteral + "}}]}";
}
std::string manifest(const std::string& notesLiteral) {
    return R"({"latestVersion":"0.1.0","minRequiredVersion":"0.1.0","updateURL":"u",)"
           R"("releaseNotes":)" +
           notesLiteral + "}";
}

TEST(HTTPTranslationTransport, HostileAnswersAreBadResponses) {
    // Well-formed answers that carry one member nested far too deep.
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    // Each case is a path prefix; the rest of the path names the service asked.
    const std::map<std::string, std::string> answers = {
        {"/deep/translate_a/single", R"([[["primary"]],)" + deep + "]"},
        {"/deep/get", R"({"responseData":{"translatedText":"backup"},"x":)" + deep + "}"},
        {"/deep/v1/chat/completions",
         R"({"choices":[{"message":{"content":"c"}}],"x":)" + deep + "}"},
        {"/deep/manifest", manifest(R"("n","x":)" + deep)},
        {"/nul/translate_a/single", R"([[["\u0000 訳\u0000",1],["文\u0000"]]])"},
        {"/nul/get", R"({"responseData":{"translatedText":"a\u0000b"}})"},
        {"/nul/v1/chat/completions", chat(R"("\u0000 x\u0000y ")")},
        {"/nul/manifest", manifest(R"("no\u0000tes")")},
    };
    LoopbackHttpServer server([&](const RecordedRequest& r) {
        auto it = answers.find(r.path);
        return it == answers.end() ? CannedResponse{404, ""} : CannedResponse{200, it->second};
    });
    const auto at = [&](const std::string& prefix) { return server.baseURL() + prefix; };

    // Nested too deep: a bad response of its service, whatever answers next.
    EXPECT_EQ(Transport(at("/deep"), at("/deep")).translateBuiltin("x", "en", "ja", {}).error(),
              kUnreachable);
    EXPECT_EQ(Transport(at("/deep"), at("/nul")).translateBuiltin("x", "en", "ja", {}).value(),
              "ab");
    Transport transport;
    EXPECT_EQ(transport.translateCustom("x", "auto", "ja", at("/deep"), "k", "", {}).error(),
              kInvalidFormat);
    EXPECT_TRUE(std::holds_alternative<DocumentDecodeError>(
        transport.fetchRemoteManifest(at("/deep/manifest"), {}).error()));

    // NUL characters never reach the caller.
    EXPECT_EQ(Transport(at("/nul"), at("/deep")).translateBuiltin("x", "en", "ja", {}).value(),
              "訳文");
    EXPECT_EQ(transport.translateCustom("x", "auto", "ja", at("/nul"), "k", "", {}).value(), "xy");
    EXPECT_EQ(transport.fetchRemoteManifest(at("/nul/manifest"), {}).value().releaseNotes, "notes");

    // A key with a control character inside is refused before any request.
    const std::size_t requestsBefore = server.requestCount();
    for (const std::string key :
         {"sk-a\r\nX-Injected: 1", "sk-a\nb", "sk\tb", "sk-\x7f", "sk-\u0085x"}) {
        SCOPED_TRACE(key);
        EXPECT_EQ(transport.translateCustom("x", "auto", "ja", at("/nul"), key, "", {}).error(),
                  TransportError(TranslationTransportError::invalidApiKey()));
        EXPECT_EQ(transport.verifyCustomKey(at("/nul"), key, "", {}).error(),
                  TransportError(TranslationTransportError::invalidApiKey()));
    }
    EXPECT_EQ(server.requestCount(), requestsBefore);
}

TEST(HTTPTranslationTransport, IdleLimitsCountWhileAwaitingTheAnswerAndOnlyWithoutProgress) {
    using Clock = std::chrono::steady_clock;
    const Transport::Timeouts limits{.builtinIdle = 300ms,
                                     .customIdle = 300ms,
                                     .translationTotal = 5s,
                                     .manifestIdle = 2000ms,
                                     .manifestTotal = 10min};
    LoopbackHttpServer server([](const RecordedRequest& r) {
        CannedResponse answer{200, R"({"responseData":{"translatedText":"backup"}})"};
        if (r.path == "/manifest") {
            // Headers after a pause and the body after another: slow, never idle.
            answer.body = manifest(R"("late")");
            answer.delay = 1200ms;
            answer.bodyDelay = 1200ms;
        } else if (r.path != "/get") {
            answer.hold = true;  // the sent POST waits for an answer that never comes
        }
        return answer;
    });
    Transport transport(server.baseURL(), server.baseURL(), limits);

    // A silent service is given up when the idle limit, not the total, runs out.
    Clock::time_point start = Clock::now();
    EXPECT_EQ(transport.translateBuiltin("x", "en", "ja", {}).value(), "backup");
    EXPECT_LT(Clock::now() - start, limits.translationTotal);
    start = Clock::now();
    auto custom = transport.translateCustom("x", "auto", "ja", server.baseURL(), "k", "", {});
    EXPECT_LT(Clock::now() - start, limits.translationTotal);
    ASSERT_FALSE(custom.ok());
    EXPECT_EQ(std::get<TranslationTransportError>(custom.error()).kind(),
              TranslationTransportError::Kind::networkFailure);

    auto fetched = transport.fetchRemoteManifest(server.baseURL() + "/manifest", {});
    EXPECT_EQ(fetched.value().releaseNotes, "late");
}

}  // namespace
}  // namespace vela
