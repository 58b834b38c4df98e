// Calls to the Kubernetes API from inside the door's pod, through libcurl's multi interface:
// started and moved along from the door's loop, never waited for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cog::door {

struct KubeClientConfig {
    std::string api_url;         // "https://10.0.0.1:443"; plain http is allowed (tests)
    std::string token_path;      // the service account's token: sent as a Bearer token, re-read every minute
    std::string ca_path;         // the cluster's certificate authority; empty: the system's
    int64_t timeout_ms = 5'000;  // a call not answered by then counts as unanswered
    size_t max_in_flight = 32;   // calls beyond this many are refused
};

struct KubeAnswer {
    uint64_t id = 0;
    long status = 0;       // HTTP status; 0: no answer (refused connection, timeout, TLS failure)
    std::string body;      // empty when the answer was longer than MAX_BODY_BYTES
    bool cut = false;      // the answer was longer than MAX_BODY_BYTES
    int64_t took_ms = 0;   // from send() to the answer
};

class KubeClient {
public:
    // A list of some hundreds of GameServers fits; a larger answer is dropped, not kept growing.
    static constexpr size_t MAX_BODY_BYTES = 8 * 1024 * 1024;

    explicit KubeClient(KubeClientConfig config);
    ~KubeClient();
    KubeClient(const KubeClient&) = delete;
    KubeClient& operator=(const KubeClient&) = delete;

    // Starts a call (`path` from the API's root, with its query) at `now_ms`; its answer comes
    // from a later pump(). Returns the call's id, or 0 when too many are in flight.
    uint64_t send(std::string_view method, std::string_view path, std::string body, int64_t now_ms);
    // Moves the calls along without waiting and returns those answered since the last pump (valid
    // until the next one).
    std::span<const KubeAnswer> pump(int64_t now_ms);
    size_t in_flight() const { return transfers_.size(); }
    // False when the token file could not be read at the last try.
    bool has_token() const { return !token_.empty(); }

private:
    struct Transfer;
    struct TransferDeleter {
        void operator()(Transfer* transfer) const;
    };
    using TransferPtr = std::unique_ptr<Transfer, TransferDeleter>;

    void read_token(int64_t now_ms);

    KubeClientConfig config_;
    void* multi_ = nullptr; // CURLM*
    std::string token_;
    int64_t token_read_ms_ = 0;
    uint64_t next_id_ = 1;
    std::vector<TransferPtr> transfers_;
    std::vector<KubeAnswer> answered_;
};

} // namespace cog::door
