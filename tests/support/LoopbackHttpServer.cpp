// The Debian build of cpp-httplib is compiled with these options; the header
// must see the same ones.
#define CPPHTTPLIB_OPENSSL_SUPPORT
#define CPPHTTPLIB_ZLIB_SUPPORT
#define CPPHTTPLIB_BROTLI_SUPPORT
#include <httplib.h>

#include "tests/support/LoopbackHttpServer.h"

#include <strings.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <stop_token>
#include <thread>

#include "tests/support/Wait.h"

namespace vela::test {
std::string RecordedRequest::header(const std::string& name) const {
    const auto it = std::ranges::find_if(
        headers, [&](const auto& h) { return strcasecmp(h.first.c_str(), name.c_str()) == 0; });
    return it == headers.end() ? "" : it->second;
}

std::string RecordedRequest::param(const std::string& name) const {
    const auto it = params.find(name);
    return it == params.end() ? "" : it->second;
}

struct LoopbackHttpServer::Impl {
    httplib::Server server;
    Handler handler;
    mutable std::mutex mutex;
    std::condition_variable_any released;
    std::stop_source shutdown;
    std::vector<RecordedRequest> requests;
    std::string baseURL;
    std::jthread thread;  // last: joined first, once the server is stopped

    // Waits `limit` or until the server shuts down; true when it does.
    bool waitForShutdown(std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex);
        return released.wait_for(lock, shutdown.get_token(), limit,
                                 [this] { return shutdown.stop_requested(); });
    }
    void serve(const httplib::Request& req, httplib::Response& res) {
        RecordedRequest r{req.method, req.path, req.target, req.body, {}, {}};
        r.headers.insert(req.headers.begin(), req.headers.end());
        r.params.insert(req.params.begin(), req.params.end());
        {
            std::lock_guard lock(mutex);
            requests.push_back(r);
        }
        const CannedResponse answer = handler(r);
        if (waitForShutdown(answer.hold ? std::chrono::hours(1) : answer.delay)) {
            res.status = 503;
            return;
        }
        res.status = answer.status;
        for (const auto& [name, value] : answer.headers)
            res.set_header(name, value);
        if (!answer.body.empty() || answer.status != 204)
            res.set_content(answer.body, answer.contentType.c_str());
    }
};

LoopbackHttpServer::LoopbackHttpServer(Handler handler) : impl_(std::make_unique<Impl>()) {
    Impl* impl = impl_.get();
    impl->handler = std::move(handler);
    const auto serve = [impl](const auto& req, auto& res) { impl->serve(req, res); };
    impl->server.Get(".*", serve);
    impl->server.Post(".*", serve);
    const int port = impl->server.bind_to_any_port("127.0.0.1");
    if (port <= 0)
        throw std::runtime_error("cannot bind a loopback port");
    impl->baseURL = "http://127.0.0.1:" + std::to_string(port);
    impl->thread = std::jthread([impl] { impl->server.listen_after_bind(); });
    // The socket already accepts connections, but stop() is only honoured once the accept
    // loop runs, so wait for it before anyone can destroy us.
    waitUntil([impl] { return impl->server.is_running(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
    impl_->shutdown.request_stop();
    impl_->server.stop();
}

std::string LoopbackHttpServer::baseURL() const {
    return impl_->baseURL;
}

std::vector<RecordedRequest> LoopbackHttpServer::requests(const std::string& path) const {
    std::lock_guard lock(impl_->mutex);
    std::vector<RecordedRequest> found;
    std::ranges::copy_if(impl_->requests, std::back_inserter(found),
                         [&](const auto& r) { return path.empty() || r.path == path; });
    return found;
}

LoopbackHttpServer::Handler LoopbackHttpServer::routedBy(
    const std::map<std::string, CannedResponse>& routes) {
    return [&routes](const RecordedRequest& r) {
        const auto it = routes.find(r.path);
        return it == routes.end() ? CannedResponse{404, ""} : it->second;
    };
}

std::string jsonString(const std::string& text) {
    return nlohmann::json(text).dump();
}

}  // namespace vela::test
