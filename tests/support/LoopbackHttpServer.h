#pragma once
// A real HTTP server on 127.0.0.1 (port chosen by the system) for tests.
// Every request is recorded and answered by a handler supplied by the test.
// Tests that use it link cpp-httplib: `LIBS cpp-httplib`.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vela::test {

struct RecordedRequest {
    std::string method;
    std::string path;                                 // decoded, without the query
    std::string target;                               // as sent: path and raw query
    std::string body;                                 // raw bytes
    std::multimap<std::string, std::string> headers;  // names as sent
    std::multimap<std::string, std::string> params;   // decoded query and form fields

    std::string header(const std::string& name) const;  // case-insensitive; "" when absent
    bool hasHeader(const std::string& name) const;
    std::string param(const std::string& name) const;  // "" when absent
};

struct CannedResponse {
    CannedResponse() = default;
    CannedResponse(int status, std::string body, std::string contentType = "application/json",
                   std::multimap<std::string, std::string> headers = {})
        : status(status),
          body(std::move(body)),
          contentType(std::move(contentType)),
          headers(std::move(headers)) {}

    int status = 200;
    std::string body;
    std::string contentType = "application/json";
    std::multimap<std::string, std::string> headers;  // extra response headers
    // Wait this long before answering (cut short when the server shuts down).
    std::chrono::milliseconds delay{0};
    // Never answer; the connection stays silent until the server shuts down.
    bool hold = false;
    // Send the status and headers, then wait this long before the body (cut
    // short when the server shuts down).
    std::chrono::milliseconds bodyDelay{0};
};

class LoopbackHttpServer {
  public:
    using Handler = std::function<CannedResponse(const RecordedRequest&)>;

    explicit LoopbackHttpServer(Handler handler);
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    int port() const { return port_; }
    std::string baseURL() const;  // "http://127.0.0.1:<port>"

    std::vector<RecordedRequest> requests() const;
    std::size_t requestCount() const;
    // Blocks until at least `count` requests have arrived.
    void waitForRequests(std::size_t count) const;
    // Lets held and delayed requests go (they then answer 503).
    void release();
    // A handler that answers each path from `routes` as it is when the request arrives
    // (404 elsewhere); the map must outlive the server and not change during a request.
    static Handler routedBy(const std::map<std::string, CannedResponse>& routes);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    int port_ = 0;
};

// A JSON string literal for `text` (quotes and escapes included).
std::string jsonString(const std::string& text);

}  // namespace vela::test
