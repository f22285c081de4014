// The Debian build of cpp-httplib is compiled with these options; the header
// must see the same ones.
#define CPPHTTPLIB_OPENSSL_SUPPORT
#define CPPHTTPLIB_ZLIB_SUPPORT
#define CPPHTTPLIB_BROTLI_SUPPORT
#include <httplib.h>

#include "tests/support/LoopbackHttpServer.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <stdexcept>
#include <thread>

#include "tests/support/Wait.h"

namespace vela::test {

namespace {
bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}
}  // namespace

std::string RecordedRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
        if (sameName(key, name))
            return value;
    }
    return "";
}

bool RecordedRequest::hasHeader(const std::string& name) const {
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto& h) { return sameName(h.first, name); });
}

std::string RecordedRequest::param(const std::string& name) const {
    auto it = params.find(name);
    return it == params.end() ? "" : it->second;
}

struct LoopbackHttpServer::Impl {
    httplib::Server server;
    std::thread thread;
    Handler handler;
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<RecordedRequest> requests;
    bool released = false;
};

LoopbackHttpServer::LoopbackHttpServer(Handler handler) : impl_(std::make_unique<Impl>()) {
    impl_->handler = std::move(handler);
    Impl* impl = impl_.get();
    auto serve = [impl](const httplib::Request& req, httplib::Response& res) {
        RecordedRequest recorded;
        recorded.method = req.method;
        recorded.path = req.path;
        recorded.target = req.target;
        recorded.body = req.body;
        recorded.headers.insert(req.headers.begin(), req.headers.end());
        recorded.params.insert(req.params.begin(), req.params.end());
        {
            std::lock_guard lock(impl->mutex);
            impl->requests.push_back(recorded);
        }
        impl->changed.notify_all();
        CannedResponse answer = impl->handler(recorded);
        if (answer.hold || answer.delay.count() > 0) {
            std::unique_lock lock(impl->mutex);
            const auto ready = [impl] { return impl->released; };
            if (answer.hold) {
                impl->changed.wait(lock, ready);
            } else {
                impl->changed.wait_for(lock, answer.delay, ready);
            }
            if (impl->released) {
                res.status = 503;
                return;
            }
        }
        res.status = answer.status;
        for (const auto& [name, value] : answer.headers)
            res.set_header(name, value);
        if (answer.bodyDelay.count() > 0) {
            res.set_content_provider(
                answer.body.size(), answer.contentType,
                [impl, answer](std::size_t, std::size_t, httplib::DataSink& sink) {
                    std::unique_lock lock(impl->mutex);
                    impl->changed.wait_for(lock, answer.bodyDelay,
                                           [impl] { return impl->released; });
                    return sink.write(answer.body.data(), answer.body.size());
                });
        } else if (!answer.body.empty() || answer.status != 204) {
            res.set_content(answer.body, answer.contentType.c_str());
        }
    };
    impl_->server.Get(".*", serve);
    impl_->server.Post(".*", serve);
    port_ = impl_->server.bind_to_any_port("127.0.0.1");
    if (port_ <= 0)
        throw std::runtime_error("cannot bind a loopback port");
    impl_->thread = std::thread([impl] { impl->server.listen_after_bind(); });
    // The socket already accepts connections, but stop() is only honoured once
    // the accept loop runs, so wait for it before anyone can destroy us.
    if (!waitUntil([impl] { return impl->server.is_running(); }))
        throw std::runtime_error("the loopback server does not start");
}

LoopbackHttpServer::~LoopbackHttpServer() {
    release();
    impl_->server.stop();
    if (impl_->thread.joinable())
        impl_->thread.join();
}

std::string LoopbackHttpServer::baseURL() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

std::vector<RecordedRequest> LoopbackHttpServer::requests() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->requests;
}

std::size_t LoopbackHttpServer::requestCount() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->requests.size();
}

void LoopbackHttpServer::waitForRequests(std::size_t count) const {
    std::unique_lock lock(impl_->mutex);
    impl_->changed.wait(lock, [&] { return impl_->requests.size() >= count; });
}

void LoopbackHttpServer::release() {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->released = true;
    }
    impl_->changed.notify_all();
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
