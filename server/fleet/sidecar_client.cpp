// HTTP calls to the sidecar through libcurl's multi interface: transfers are only ever advanced,
// never awaited.
#include "server/fleet/sidecar_client.h"

#include "shared/log/log.h"

#include <curl/curl.h>

namespace cog {

struct SidecarClient::Transfer {
    CURLM* multi = nullptr;
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    SidecarCall call{};
    uint32_t subject = 0;
    std::string body; // the answer so far
};

void SidecarClient::TransferDeleter::operator()(Transfer* transfer) const {
    curl_multi_remove_handle(transfer->multi, transfer->easy);
    curl_easy_cleanup(transfer->easy);
    curl_slist_free_all(transfer->headers);
    delete transfer;
}

namespace {
// Keeps the start of the answer, enough to read a state or quote a refusal; the rest is discarded.
size_t keep_body(char* data, size_t size, size_t count, void* context) {
    std::string& body = *static_cast<std::string*>(context);
    const size_t bytes = size * count;
    if (body.size() < SidecarClient::MAX_BODY_BYTES)
        body.append(data, std::min(bytes, SidecarClient::MAX_BODY_BYTES - body.size()));
    return bytes;
}

CURLM* multi_of(void* handle) { return static_cast<CURLM*>(handle); }
} // namespace

SidecarClient::SidecarClient(uint16_t port, int64_t timeout_ms, ListApi list_api)
    // An address, not "localhost": a name lookup may block the calling thread.
    : base_url_("http://127.0.0.1:" + std::to_string(port)), timeout_ms_(timeout_ms), list_api_(list_api) {
    curl_global_init(CURL_GLOBAL_DEFAULT); // counted: every init is matched by the cleanup below
    multi_ = curl_multi_init();
}

SidecarClient::~SidecarClient() {
    ordered_in_flight_.reset();
    for (TransferPtr& lane : solo_in_flight_) lane.reset();
    curl_multi_cleanup(multi_of(multi_));
    curl_global_cleanup();
}

SidecarClient::TransferPtr SidecarClient::begin(const Request& request) {
    const SidecarCallSpec& spec = sidecar_call_spec(request.call);
    TransferPtr transfer(new Transfer{multi_of(multi_), curl_easy_init(), nullptr, request.call, request.subject, {}});
    CURL* easy = transfer->easy;
    const std::string url = base_url_ + std::string(sidecar_call_path(request.call, list_api_));
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    if (spec.method == "GET") {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    } else {
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, std::string(spec.method).c_str());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE, static_cast<long>(request.body.size()));
        curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, request.body.c_str());
        transfer->headers = curl_slist_append(nullptr, "Content-Type: application/json");
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headers);
    }
    // A proxy named in the environment must not capture calls meant for the pod's own sidecar.
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout_ms_));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, keep_body);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer->body);
    curl_easy_setopt(easy, CURLOPT_PRIVATE, transfer.get());
    curl_multi_add_handle(multi_of(multi_), easy);
    return transfer;
}

SidecarClient::TransferPtr* SidecarClient::solo_lane(SidecarCall call) {
    if (call == SidecarCall::HEALTH) return &solo_in_flight_[0];
    if (call == SidecarCall::GAMESERVER) return &solo_in_flight_[1];
    return nullptr;
}

SidecarClient::TransferPtr& SidecarClient::lane_of(const Transfer* transfer) {
    for (TransferPtr& lane : solo_in_flight_)
        if (lane.get() == transfer) return lane;
    return ordered_in_flight_;
}

void SidecarClient::start_next_ordered() {
    if (ordered_in_flight_ || ordered_.empty()) return;
    ordered_in_flight_ = begin(ordered_.front());
    ordered_.pop_front();
}

bool SidecarClient::post(SidecarCall call, std::string body, uint32_t subject) {
    if (TransferPtr* lane = solo_lane(call)) {
        if (*lane) return false; // the one in flight already says what this one would
        *lane = begin({call, std::move(body), subject});
        return true;
    }
    if (!has_room()) {
        if (refused_++ == 0) LOG_WARN("[FLEET] The sidecar is not keeping up; refusing calls beyond %zu waiting", MAX_QUEUED);
        return false;
    }
    ordered_.push_back({call, std::move(body), subject});
    start_next_ordered();
    return true;
}

std::span<const SidecarOutcome> SidecarClient::pump() {
    finished_.clear();
    // Two rounds: a call started when the first one finished gets its connect under way too.
    for (int round = 0; round < 2; ++round) {
        int running = 0;
        curl_multi_perform(multi_of(multi_), &running);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi_of(multi_), &left)) {
            if (message->msg != CURLMSG_DONE) continue;
            Transfer* transfer = nullptr;
            curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &transfer);
            long status = 0;
            if (message->data.result == CURLE_OK) curl_easy_getinfo(message->easy_handle, CURLINFO_RESPONSE_CODE, &status);
            const bool ok = status >= 200 && status < 300;
            finished_.push_back({transfer->call, ok, status, std::move(transfer->body), transfer->subject});
            lane_of(transfer).reset();
        }
        if (ordered_in_flight_ || ordered_.empty()) break;
        start_next_ordered();
    }
    return finished_;
}

bool SidecarClient::idle() const {
    for (const TransferPtr& lane : solo_in_flight_)
        if (lane) return false;
    return !ordered_in_flight_ && ordered_.empty();
}

} // namespace cog
