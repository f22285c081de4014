#pragma once
// A real HTTP server on 127.0.0.1 (port chosen by the system) for tests. Every request is
// recorded and answered, on the server's own thread, by a handler supplied by the test.
// Tests that use it link cpp-httplib: `LIBS cpp-httplib`.

#include <chrono>
#include <functional>
#include <map>
#include <memory>
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

    std::string header(const std::string& name) const;  // any case; "" when absent
    bool hasHeader(const std::string& name) const { return !header(name).empty(); }
    std::string param(const std::string& name) const;  // "" when absent
};

struct CannedResponse {
    int status = 200;
    std::string body;
    std::string contentType = "application/json";
    std::multimap<std::string, std::string> headers = {};  // extra response headers
    // Wait this long before answering, or never answer (`hold`); either is cut short with a
    // 503 when the server shuts down.
    std::chrono::milliseconds delay{0};
    bool hold = false;
};

class LoopbackHttpServer {
  public:
    using Handler = std::function<CannedResponse(const RecordedRequest&)>;

    // Throws std::runtime_error when no loopback port can be bound.
    explicit LoopbackHttpServer(Handler handler);
    ~LoopbackHttpServer();  // releases held answers, then stops and joins the server
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    std::string baseURL() const;  // "http://127.0.0.1:<port>"
    // The requests so far, in order; only those to `path` when one is given.
    std::vector<RecordedRequest> requests(const std::string& path = "") const;
    std::size_t requestCount() const { return requests().size(); }

    // A handler that answers each path from `routes` as it is when the request arrives
    // (404 elsewhere); the map must outlive the server and not change during a request.
    static Handler routedBy(const std::map<std::string, CannedResponse>& routes);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A JSON string literal for `text` (quotes and escapes included).
std::string jsonString(const std::string& text);

}  // namespace vela::test
