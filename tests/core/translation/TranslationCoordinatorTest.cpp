#include "core/translation/TranslationCoordinator.h"

#include <gtest/gtest.h>

#include <mutex>
#include <stdexcept>
#include <vector>

#include "tests/support/TempDir.h"

namespace vela {
namespace {

struct Call {
    std::string operation;  // "builtin", "custom" or "verify"
    std::string text, source, target, baseURL, apiKey, model;
};

// Records every call and answers with the scripted result. Stands in for the
// network so the coordinator's own rules can be checked one by one.
class ScriptedTransport : public TranslationTransport {
  public:
    TransportResult<std::string> answer = std::string("translated");
    TransportResult<std::monostate> verifyAnswer = std::monostate{};
    bool throwInstead = false;
    std::vector<Call> calls;

    TransportResult<std::string> translateBuiltin(const std::string& text,
                                                  const std::string& source,
                                                  const std::string& target,
                                                  std::stop_token) override {
        calls.push_back({"builtin", text, source, target, "", "", ""});
        if (throwInstead)
            throw std::runtime_error("boom");
        return answer;
    }
    TransportResult<std::string> translateCustom(const std::string& text, const std::string& source,
                                                 const std::string& target,
                                                 const std::string& baseURL,
                                                 const std::string& apiKey,
                                                 const std::string& model,
                                                 std::stop_token) override {
        calls.push_back({"custom", text, source, target, baseURL, apiKey, model});
        return answer;
    }
    TransportResult<std::monostate> verifyCustomKey(const std::string& baseURL,
                                                    const std::string& apiKey,
                                                    const std::string& model,
                                                    std::stop_token) override {
        calls.push_back({"verify", "", "", "", baseURL, apiKey, model});
        return verifyAnswer;
    }
    TransportResult<RemoteControlManifest> fetchRemoteManifest(const std::string& url,
                                                               std::stop_token) override {
        calls.push_back({"manifest", "", "", "", url, "", ""});
        return manifestAnswer;
    }
    TransportResult<RemoteControlManifest> manifestAnswer =
        TranslationTransportError::networkFailure("Remote config unreachable");
};

const std::string kNetwork =
    "ネットワーク接続に失敗しました。通信環境をご確認の上、再試行してください";
const std::string kInvalidKey = "APIキーが無効、または残高不足です。設定をご確認ください";
const std::string kEmpty = "翻訳するテキストを入力してください";

class CoordinatorTest : public ::testing::Test {
  protected:
    test::TempDir dir;
    ConfigStore store{dir / "config.json"};
    ScriptedTransport* transport = nullptr;
    std::unique_ptr<TranslationCoordinator> coordinator;

    void SetUp() override {
        auto owned = std::make_unique<ScriptedTransport>();
        transport = owned.get();
        coordinator = std::make_unique<TranslationCoordinator>(store, std::move(owned));
    }
    TranslationOutcome translate(const std::string& text,
                                 std::optional<std::string> source = "auto",
                                 std::optional<std::string> target = "ja", bool manual = false) {
        return coordinator->translate(text, source, target, manual);
    }
};

TEST_F(CoordinatorTest, RequiredUpdateBlocksBeforeEverythingElse) {
    store.update([](VelaConfig& c) {
        c.forceUpdateBlocked = true;
        c.forceUpdateMessage = "";
        c.forceUpdateURL = "https://example.invalid/update";
    });
    const TranslationOutcome blocked{TranslationOutcome::ForceUpdateRequired{
        "現在のバージョンはサポート終了となりました。最新バージョンへアップデートしてください。",
        "https://example.invalid/update"}};
    EXPECT_EQ(translate(""), blocked);
    EXPECT_EQ(translate("hello"), blocked);

    store.update([](VelaConfig& c) { c.forceUpdateMessage = " "; });
    EXPECT_EQ(translate("hello"), (TranslationOutcome{TranslationOutcome::ForceUpdateRequired{
                                      " ", "https://example.invalid/update"}}));
    EXPECT_TRUE(transport->calls.empty());
}

TEST_F(CoordinatorTest, BlankInputIsEmptyWithoutAnyCall) {
    const TranslationOutcome empty{TranslationOutcome::EmptyInput{kEmpty}};
    EXPECT_EQ(translate(""), empty);
    EXPECT_EQ(translate(" \n\t \r\n"), empty);
    EXPECT_EQ(translate("\u3000\u3000"), empty);
    EXPECT_TRUE(transport->calls.empty());
}

TEST_F(CoordinatorTest, SendsTrimmedTextAndResolvedPair) {
    auto outcome = translate("  hello\nworld \u3000");
    ASSERT_EQ(transport->calls.size(), 1u);
    EXPECT_EQ(transport->calls[0].operation, "builtin");
    EXPECT_EQ(transport->calls[0].text, "hello\nworld");
    ASSERT_TRUE(outcome.isSuccess());
    const auto& success = std::get<TranslationOutcome::Success>(outcome.value);
    EXPECT_EQ(success.translatedText, "translated");
    EXPECT_EQ(success.targetLanguage, "ja");
    EXPECT_FALSE(success.usedCustomChannel);
    EXPECT_GE(success.elapsedMs, 1);  // an instant answer still reports 1

    // Japanese text with target Japanese switches to English, all the way to the channel.
    transport->answer = std::string("Good weather today");
    outcome = translate("今日はとても良い天気ですね。");
    EXPECT_EQ(transport->calls.back().source, "ja");
    EXPECT_EQ(transport->calls.back().target, "en");
    EXPECT_EQ(std::get<TranslationOutcome::Success>(outcome.value).targetLanguage, "en");

    // A manual target is never switched.
    outcome = translate("今日はとても良い天気ですね。", "auto", "ja", true);
    EXPECT_EQ(transport->calls.back().source, "auto");
    EXPECT_EQ(transport->calls.back().target, "ja");
}

TEST_F(CoordinatorTest, AbsentSelectionsUseStoredLanguages) {
    store.update([](VelaConfig& c) {
        c.sourceLanguage = "en";
        c.targetLanguage = "zh";
    });
    (void)translate("The weather is lovely today.", std::nullopt, std::nullopt);
    ASSERT_EQ(transport->calls.size(), 1u);
    EXPECT_EQ(transport->calls[0].source, "en");
    EXPECT_EQ(transport->calls[0].target, "zh");
}

TEST_F(CoordinatorTest, ChannelChoiceAndNoFallback) {
    store.update([](VelaConfig& c) {
        c.channelMode = TranslationChannelMode::custom;
        c.customApiKey = "  \n ";
    });
    auto outcome = translate("hello");
    EXPECT_EQ(transport->calls.back().operation, "builtin");
    EXPECT_FALSE(std::get<TranslationOutcome::Success>(outcome.value).usedCustomChannel);

    store.update([](VelaConfig& c) {
        c.customApiKey = " sk-live ";
        c.customBaseURL = "http://127.0.0.1:9/v1/";
        c.customModel = "";
    });
    outcome = translate("hello");
    ASSERT_EQ(transport->calls.back().operation, "custom");
    // Stored values go out exactly as stored; the transport normalises them.
    EXPECT_EQ(transport->calls.back().apiKey, " sk-live ");
    EXPECT_EQ(transport->calls.back().baseURL, "http://127.0.0.1:9/v1/");
    EXPECT_EQ(transport->calls.back().model, "");
    EXPECT_TRUE(std::get<TranslationOutcome::Success>(outcome.value).usedCustomChannel);

    const std::size_t before = transport->calls.size();
    transport->answer = TranslationTransportError::invalidApiKey();
    EXPECT_EQ(translate("hello"), (TranslationOutcome{TranslationOutcome::Failure{kInvalidKey}}));
    EXPECT_EQ(transport->calls.size(), before + 1);  // no builtin attempt after the failure
}

TEST_F(CoordinatorTest, EveryFailureMapsToItsFixedMessage) {
    const TranslationOutcome network{TranslationOutcome::Failure{kNetwork}};
    transport->answer = TranslationTransportError::networkFailure("Builtin endpoints unreachable");
    EXPECT_EQ(translate("hello"), network);
    transport->answer = HTTPClientError{28, "Timeout was reached"};
    EXPECT_EQ(translate("hello"), network);
    transport->answer = JSONParseError{"not JSON"};
    EXPECT_EQ(translate("hello"), network);
    transport->throwInstead = true;
    EXPECT_EQ(translate("hello"), network);
    // The translation is passed on exactly, even when empty.
    transport->throwInstead = false;
    transport->answer = std::string("");
    EXPECT_EQ(std::get<TranslationOutcome::Success>(translate("hello").value).translatedText, "");
}

TEST_F(CoordinatorTest, ConnectionTest) {
    const VelaConfig before = store.config();
    EXPECT_EQ(coordinator->testConnection(" http://h/v1 ", " key ", "m"),
              ConnectionTestResult(std::string("接続テスト成功")));
    ASSERT_EQ(transport->calls.size(), 1u);
    EXPECT_EQ(transport->calls[0].baseURL, " http://h/v1 ");
    EXPECT_EQ(transport->calls[0].apiKey, " key ");

    transport->verifyAnswer = TranslationTransportError::invalidApiKey();
    EXPECT_EQ(coordinator->testConnection("", "bad", ""),
              ConnectionTestResult(ConnectionTestError{kInvalidKey}));
    transport->verifyAnswer = HTTPClientError{7, "Couldn't connect"};
    EXPECT_EQ(coordinator->testConnection("", "k", ""),
              ConnectionTestResult(ConnectionTestError{kNetwork}));
    EXPECT_EQ(store.config(), before);
}

TEST_F(CoordinatorTest, RemoteSyncReadsTheStoredAddressAndSwallowsFailures) {
    store.update([](VelaConfig& c) { c.remoteConfigURL = "file:///somewhere/manifest.json"; });
    const VelaConfig before = store.config();
    EXPECT_EQ(coordinator->syncRemoteControl(),
              (RemoteControlDecision{RemoteControlDecision::UpToDate{}}));
    ASSERT_EQ(transport->calls.size(), 1u);
    EXPECT_EQ(transport->calls[0].operation, "manifest");
    EXPECT_EQ(transport->calls[0].baseURL, "file:///somewhere/manifest.json");
    EXPECT_EQ(store.config(), before);

    transport->manifestAnswer =
        RemoteControlManifest{"0.9.0", "0.5.0", "https://example.invalid/dl", "notes", {}};
    EXPECT_EQ(coordinator->syncRemoteControl(),
              (RemoteControlDecision{RemoteControlDecision::ForceUpdateRequired{
                  "0.9.0", "notes", "https://example.invalid/dl"}}));
    EXPECT_TRUE(store.config().forceUpdateBlocked);
}

}  // namespace
}  // namespace vela
