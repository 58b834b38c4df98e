// The Kubernetes API over libcurl's multi interface: each call is one easy handle, advanced by
// pump() and never awaited; the token is re-read now and then, as the kubelet rotates it.
#include "door/agones_kube_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace cog::door {

namespace {
constexpr int64_t TOKEN_REREAD_MS = 60'000;

CURLM* multi_of(void* handle) { return static_cast<CURLM*>(handle); }

// The answer so far; one longer than the bound is dropped whole (a cut JSON text is no use).
struct Received {
    std::string body;
    bool cut = false;
};

size_t keep_body(char* data, size_t size, size_t count, void* context) {
    Received& received = *static_cast<Received*>(context);
    const size_t bytes = size * count;
    if (received.cut) return bytes;
    if (received.body.size() + bytes > KubeClient::MAX_BODY_BYTES) {
        received.cut = true;
        std::string().swap(received.body);
        return bytes;
    }
    received.body.append(data, bytes);
    return bytes;
}
} // namespace

struct KubeClient::Transfer {
    CURLM* multi = nullptr;
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    uint64_t id = 0;
    int64_t sent_ms = 0;
    Received received;
};

void KubeClient::TransferDeleter::operator()(Transfer* transfer) const {
    curl_multi_remove_handle(transfer->multi, transfer->easy);
    curl_easy_cleanup(transfer->easy);
    curl_slist_free_all(transfer->headers);
    delete transfer;
}


KubeClient::KubeClient(KubeClientConfig config) : config_(std::move(config)) {
    curl_global_init(CURL_GLOBAL_DEFAULT); // counted: matched by the cleanup in the destructor
    multi_ = curl_multi_init();
    read_token(0);
}

KubeClient::~KubeClient() {
    transfers_.clear();
    curl_multi_cleanup(multi_of(multi_));
    curl_global_cleanup();
}

void KubeClient::read_token(int64_t now_ms) {
    token_read_ms_ = now_ms;
    std::ifstream file(config_.token_path);
    if (!file) return; // keep the last one: a token that failed to read once may still be valid
    std::stringstream text;
    text << file.rdbuf();
    std::string token = text.str();
    while (!token.empty() && (token.back() == '\n' || token.back() == '\r' || token.back() == ' ')) token.pop_back();
    if (!token.empty() && token.size() < 16 * 1024) token_ = std::move(token);
}

uint64_t KubeClient::send(std::string_view method, std::string_view path, std::string body, int64_t now_ms) {
    if (transfers_.size() >= config_.max_in_flight) return 0;
    if (now_ms - token_read_ms_ >= TOKEN_REREAD_MS) read_token(now_ms);
    TransferPtr transfer(new Transfer{multi_of(multi_), curl_easy_init(), nullptr, next_id_++, now_ms, {}});
    CURL* easy = transfer->easy;
    const std::string url = config_.api_url + std::string(path);
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    transfer->headers = curl_slist_append(transfer->headers, "Accept: application/json");
    if (!token_.empty()) transfer->headers = curl_slist_append(transfer->headers, ("Authorization: Bearer " + token_).c_str());
    if (method == "GET") {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    } else {
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, std::string(method).c_str());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
        curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, body.c_str());
        transfer->headers = curl_slist_append(transfer->headers, "Content-Type: application/json");
    }
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headers);
    if (!config_.ca_path.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, config_.ca_path.c_str());
    // The API server is inside the cluster: a proxy named in the environment must not see the token.
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(config_.timeout_ms));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, keep_body);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer->received);
    curl_easy_setopt(easy, CURLOPT_PRIVATE, transfer.get());
    const uint64_t id = transfer->id;
    curl_multi_add_handle(multi_of(multi_), easy);
    transfers_.push_back(std::move(transfer));
    return id;
}

std::span<const KubeAnswer> KubeClient::pump(int64_t now_ms) {
    answered_.clear();
    int running = 0;
    curl_multi_perform(multi_of(multi_), &running);
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_of(multi_), &left)) {
        if (message->msg != CURLMSG_DONE) continue;
        Transfer* transfer = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &transfer);
        long status = 0;
        if (message->data.result == CURLE_OK) curl_easy_getinfo(message->easy_handle, CURLINFO_RESPONSE_CODE, &status);
        answered_.push_back({transfer->id, status, std::move(transfer->received.body), transfer->received.cut,
                             now_ms - transfer->sent_ms});
        std::erase_if(transfers_, [transfer](const TransferPtr& t) { return t.get() == transfer; });
    }
    return answered_;
}

} // namespace cog::door
