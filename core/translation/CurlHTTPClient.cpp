#include "core/translation/CurlHTTPClient.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>

namespace vela {

namespace {

void ensureCurlInitialised() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct MultiDeleter {
    void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};
struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
struct UrlDeleter {
    void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
struct CurlStringDeleter {
    void operator()(char* s) const { curl_free(s); }
};

// Detaches the easy handle before either handle is cleaned up.
class MultiAttachment {
  public:
    MultiAttachment(CURLM* multi, CURL* easy) : multi_(multi), easy_(easy) {
        curl_multi_add_handle(multi_, easy_);
    }
    ~MultiAttachment() { curl_multi_remove_handle(multi_, easy_); }
    MultiAttachment(const MultiAttachment&) = delete;
    MultiAttachment& operator=(const MultiAttachment&) = delete;

  private:
    CURLM* multi_;
    CURL* easy_;
};

using Clock = std::chrono::steady_clock;

struct Transfer {
    std::string body;
    std::size_t limit = 0;
    bool overflowed = false;
    std::stop_token stop;
    // Any byte sent or received; the idle limit counts from here.
    Clock::time_point lastProgress = Clock::now();
    curl_off_t sent = 0;
    curl_off_t received = 0;
};

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    transfer->lastProgress = Clock::now();
    if (bytes > transfer->limit - transfer->body.size()) {
        transfer->overflowed = true;
        return 0;  // makes libcurl fail the transfer with a write error
    }
    transfer->body.append(data, bytes);
    return bytes;
}

std::size_t onHeader(char*, std::size_t size, std::size_t count, void* user) {
    static_cast<Transfer*>(user)->lastProgress = Clock::now();
    return size * count;
}

int onProgress(void* user, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
    auto* transfer = static_cast<Transfer*>(user);
    if (received != transfer->received || sent != transfer->sent) {
        transfer->received = received;
        transfer->sent = sent;
        transfer->lastProgress = Clock::now();
    }
    return transfer->stop.stop_requested() ? 1 : 0;
}

HTTPClientError cancelled() {
    return {CURLE_ABORTED_BY_CALLBACK, "The request was cancelled"};
}

}  // namespace

TransportResult<HTTPResponse> performHTTPRequest(const HTTPRequest& request, std::stop_token stop) {
    ensureCurlInitialised();
    if (stop.stop_requested())
        return cancelled();

    Transfer transfer;
    transfer.limit = request.maxResponseBytes;
    transfer.stop = stop;
    char errorText[CURL_ERROR_SIZE] = {};

    std::unique_ptr<curl_slist, SlistDeleter> headers;
    for (const std::string& header : request.headers) {
        curl_slist* extended = curl_slist_append(headers.get(), header.c_str());
        if (!extended)
            return HTTPClientError{CURLE_OUT_OF_MEMORY, "Cannot build headers"};
        (void)headers.release();
        headers.reset(extended);
    }
    if (request.method == "POST") {
        // No "Expect: 100-continue" round trip for larger bodies.
        curl_slist* extended = curl_slist_append(headers.get(), "Expect:");
        if (!extended)
            return HTTPClientError{CURLE_OUT_OF_MEMORY, "Cannot build headers"};
        (void)headers.release();
        headers.reset(extended);
    }

    // Created after the header list so that they are cleaned up before it.
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!easy || !multi)
        return HTTPClientError{CURLE_FAILED_INIT, "Cannot create HTTP client"};

    CURL* h = easy.get();
    curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(request.totalTimeout.count()));
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.idleTimeout.count()));
    // The idle limit is checked by the loop below: libcurl's low-speed limit
    // averages over seconds and stays quiet while a sent POST waits for its answer.
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);
    if (headers)
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    if (request.method == "POST") {
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.body.data());
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.body.size()));
    } else {
        curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    }

    CURLcode result = CURLE_OK;
    {
        MultiAttachment attachment(multi.get(), h);
        // Declared after the multi handle so it is gone before that handle is.
        std::stop_callback wake(stop, [m = multi.get()] { curl_multi_wakeup(m); });
        int running = 1;
        while (true) {
            if (CURLMcode mc = curl_multi_perform(multi.get(), &running); mc != CURLM_OK) {
                return HTTPClientError{CURLE_FAILED_INIT, curl_multi_strerror(mc)};
            }
            if (running == 0)
                break;
            if (stop.stop_requested())
                return cancelled();
            const auto idleLeft = std::chrono::duration_cast<std::chrono::milliseconds>(
                transfer.lastProgress + request.idleTimeout - Clock::now());
            if (idleLeft.count() <= 0) {
                return HTTPClientError{
                    CURLE_OPERATION_TIMEDOUT,
                    "No progress for " + std::to_string(request.idleTimeout.count()) + " ms"};
            }
            const int wait = static_cast<int>(std::min<long long>(idleLeft.count(), 1000));
            if (CURLMcode mc = curl_multi_poll(multi.get(), nullptr, 0, wait, nullptr);
                mc != CURLM_OK) {
                return HTTPClientError{CURLE_FAILED_INIT, curl_multi_strerror(mc)};
            }
            if (stop.stop_requested())
                return cancelled();
        }
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == h) {
                result = message->data.result;
            }
        }
    }

    if (result != CURLE_OK) {
        if (result == CURLE_ABORTED_BY_CALLBACK)
            return cancelled();
        if (transfer.overflowed)
            return HTTPClientError{result, "Response body too large"};
        std::string description = errorText[0] ? errorText : curl_easy_strerror(result);
        return HTTPClientError{result, std::move(description)};
    }
    HTTPResponse response;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &response.status);
    response.body = std::move(transfer.body);
    return response;
}

bool isWellFormedURL(const std::string& url) {
    std::unique_ptr<CURLU, UrlDeleter> parsed(curl_url());
    if (!parsed)
        return false;
    if (curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME) !=
        CURLUE_OK) {
        return false;
    }
    char* rawHost = nullptr;
    const CURLUcode hostResult = curl_url_get(parsed.get(), CURLUPART_HOST, &rawHost, 0);
    std::unique_ptr<char, CurlStringDeleter> host(rawHost);
    char* rawScheme = nullptr;
    curl_url_get(parsed.get(), CURLUPART_SCHEME, &rawScheme, 0);
    std::unique_ptr<char, CurlStringDeleter> scheme(rawScheme);
    // Network schemes need a host; "file:" URLs do without.
    return hostResult == CURLUE_OK || (scheme && std::string_view(scheme.get()) == "file");
}

std::optional<URLParts> parseURL(const std::string& url) {
    if (!isWellFormedURL(url))
        return std::nullopt;
    std::unique_ptr<CURLU, UrlDeleter> parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(),
                                CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
        return std::nullopt;
    }
    char* rawScheme = nullptr;
    char* rawPath = nullptr;
    const CURLUcode schemeResult = curl_url_get(parsed.get(), CURLUPART_SCHEME, &rawScheme, 0);
    std::unique_ptr<char, CurlStringDeleter> scheme(rawScheme);
    const CURLUcode pathResult =
        curl_url_get(parsed.get(), CURLUPART_PATH, &rawPath, CURLU_URLDECODE);
    std::unique_ptr<char, CurlStringDeleter> path(rawPath);
    if (schemeResult != CURLUE_OK || pathResult != CURLUE_OK || !scheme || !path) {
        return std::nullopt;
    }
    URLParts parts{scheme.get(), path.get()};
    for (char& c : parts.scheme)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return parts;
}

std::string percentEncoded(std::string_view value) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size() * 3);
    for (unsigned char c : value) {
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
                                c == '~';
        if (unreserved) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 0x0F]);
        }
    }
    return out;
}

}  // namespace vela
