// Cost of one builtin translation through coordinator and transport against a
// loopback server, next to a bare libcurl request of the same shape to the same
// server. The difference is what the engine adds on top of HTTP.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "core/settings/ConfigStore.h"
#include "core/translation/HTTPTranslationTransport.h"
#include "core/translation/TranslationCoordinator.h"

namespace {

// Answers every request on 127.0.0.1 with one fixed translation and closes.
class CannedServer {
  public:
    CannedServer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_, 64) != 0) {
            throw std::runtime_error("cannot listen on 127.0.0.1");
        }
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~CannedServer() {
        stopping_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
        thread_.join();
    }
    std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port_); }

  private:
    void serve() {
        static const std::string body = R"([[["こんにちは、世界",null,null]],null,"en"])";
        static const std::string response =
            "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
            std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
        while (!stopping_) {
            const int client = ::accept(listener_, nullptr, nullptr);
            if (client < 0)
                continue;
            std::string request;
            char buffer[4096];
            std::size_t needed = std::string::npos;
            while (request.size() < needed) {
                const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
                if (got <= 0)
                    break;
                request.append(buffer, static_cast<std::size_t>(got));
                if (needed == std::string::npos) {
                    const std::size_t end = request.find("\r\n\r\n");
                    if (end == std::string::npos)
                        continue;
                    std::size_t contentLength = 0;
                    const std::size_t field = request.find("Content-Length: ");
                    if (field != std::string::npos && field < end) {
                        contentLength = std::stoul(request.substr(field + 16));
                    }
                    needed = end + 4 + contentLength;
                }
            }
            (void)::send(client, response.data(), response.size(), MSG_NOSIGNAL);
            ::close(client);
        }
    }

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

const std::string kText = "Hello, world! This is a short sentence to translate.";

void BM_CoordinatorTranslate(benchmark::State& state) {
    CannedServer server;
    const auto file = std::filesystem::temp_directory_path() / "vela-bench-config.json";
    vela::ConfigStore store(file);
    vela::TranslationCoordinator coordinator(
        store,
        std::make_unique<vela::HTTPTranslationTransport>(server.baseURL(), server.baseURL()));
    for (auto _ : state) {
        auto outcome = coordinator.translate(kText, "auto", "ja", false);
        if (!outcome.isSuccess())
            state.SkipWithError("translation failed");
        benchmark::DoNotOptimize(outcome);
    }
    std::filesystem::remove(file);
}

void BM_TransportBuiltin(benchmark::State& state) {
    CannedServer server;
    vela::HTTPTranslationTransport transport(server.baseURL(), server.baseURL());
    for (auto _ : state) {
        auto result = transport.translateBuiltin(kText, "auto", "ja", {});
        if (!result.ok())
            state.SkipWithError("translation failed");
        benchmark::DoNotOptimize(result);
    }
}

std::size_t collect(char* data, std::size_t size, std::size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

void BM_BareCurlRequest(benchmark::State& state) {
    CannedServer server;
    curl_global_init(CURL_GLOBAL_DEFAULT);
    const std::string url = server.baseURL() + "/translate_a/single?client=gtx&dt=t";
    for (auto _ : state) {
        CURL* h = curl_easy_init();
        char* q = curl_easy_escape(h, kText.data(), static_cast<int>(kText.size()));
        const std::string body = std::string("sl=auto&tl=ja&q=") + q;
        curl_free(q);
        curl_slist* headers = curl_slist_append(
            nullptr, "Content-Type: application/x-www-form-urlencoded; charset=utf-8");
        headers =
            curl_slist_append(headers, "User-Agent: Mozilla/5.0 (Macintosh; Intel Mac OS X 14_0)");
        std::string answer;
        curl_easy_setopt(h, CURLOPT_URL, url.c_str());
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.c_str());
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, collect);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, &answer);
        if (curl_easy_perform(h) != CURLE_OK)
            state.SkipWithError("request failed");
        benchmark::DoNotOptimize(answer);
        curl_slist_free_all(headers);
        curl_easy_cleanup(h);
    }
}

}  // namespace

BENCHMARK(BM_CoordinatorTranslate)->UseRealTime();
BENCHMARK(BM_TransportBuiltin)->UseRealTime();
BENCHMARK(BM_BareCurlRequest)->UseRealTime();
