// Rooms as Agones GameServers: a new room is an allocation from the fleet, labelled with its code,
// and any code is found again from the GameServers' labels, so several doors agree on every room
// and a door that restarts loses none. The rooms belong to the cluster: each ends itself (its
// Shutdown once empty), and the door only notices that its GameServer is gone.
#pragma once

#include "door/agones_kube_client.h"
#include "door/agones_resources.h"
#include "door/room_source.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace cog::door {

struct AgonesRoomsConfig {
    KubeClientConfig api;
    AgonesNames names;
    size_t max_starting = 16;      // allocations under way at once; more: Full
    size_t max_lookups = 64;       // codes being looked up or remembered as missing; more: Unknown
    int64_t refresh_ms = 5'000;    // how often the rooms this door has seen are checked for their end
    int64_t missing_ms = 3'000;    // a code found nowhere stays unknown this long before a new lookup
    int64_t busy_ms = 10'000;      // after the fleet had no Ready room, new rooms are refused this long
};

// Where the pod's service account and the API server are, as a pod sees them.
struct InClusterPaths {
    std::string token = "/var/run/secrets/kubernetes.io/serviceaccount/token";
    std::string ca = "/var/run/secrets/kubernetes.io/serviceaccount/ca.crt";
    std::string namespace_file = "/var/run/secrets/kubernetes.io/serviceaccount/namespace";
};

enum class AgonesSetupError : unsigned char { None, NoNamespace, NoToken };
const char* agones_setup_error_text(AgonesSetupError error);

// Fills what the command line left empty from inside the pod: the API server (from
// KUBERNETES_SERVICE_HOST/PORT, else https://kubernetes.default.svc), the token, the certificate
// authority and the namespace. An API URL given on the command line uses no certificate authority
// of the pod's unless it is https.
AgonesSetupError complete_in_cluster(AgonesRoomsConfig& config, const InClusterPaths& paths);

// Reads one of the door's --rooms agones options (--k8s-api URL, --k8s-token FILE, --fleet NAME,
// --namespace NS, --room-label KEY, --web-port-name NAME); false: not one of them.
bool apply_agones_option(std::string_view name, std::string_view value, AgonesRoomsConfig& config);

// How the door's calls to the cluster went, for the log and (later) metrics.
struct AgonesCounts {
    uint64_t allocated = 0;       // rooms allocated
    uint64_t no_ready_room = 0;   // allocations answered UnAllocated or Contention
    uint64_t failed = 0;          // allocations refused, unanswered or unreadable; code clashes
    int64_t allocation_ms_total = 0; // summed over the allocated ones, from the first call to the answer
    uint64_t lookups = 0;
    uint64_t api_errors = 0;      // lookups and refreshes refused or unanswered
};

class AgonesRooms final : public RoomSource {
public:
    explicit AgonesRooms(AgonesRoomsConfig config);

    RoomStartError start_room(std::string_view code) override;
    // What this door knows of the code, without asking the cluster: Unknown for a code it has
    // not seen (so that drawing a fresh code costs nothing); look_up() asks.
    RoomLookup find_room(std::string_view code) const override;
    // Asks the cluster for a code this door has not seen (a room another door made, or this door
    // before a restart): find_room() then answers Starting until the next polls bring the answer,
    // then Ready or, for missing_ms, Unknown. Ignored beyond max_lookups under way.
    void look_up(std::string_view code) override;
    void poll(int64_t now_ms, std::vector<RoomEvent>& events) override;
    void set_players(std::string_view, int) override {} // each room counts its own players
    size_t room_count() const override; // the rooms this door asked for and still holds
    // Rooms outlive the door; it only waits for its allocations under way to be answered.
    bool shut_down(int64_t now_ms, std::vector<RoomEvent>& events) override;

    const AgonesCounts& counts() const { return counts_; }
    void count_into(DoorMetrics& metrics) const override;

private:
    enum class Step : unsigned char { CheckFree, Allocating, Ready, LookingUp, Missing };
    struct Room {
        Step step = Step::LookingUp;
        bool ours = false;      // asked for through this door: Made and Failed are reported
        uint64_t call = 0;      // the API call under way for it
        int64_t since_ms = 0;   // when the step began (Ready: when it was found; Missing: found missing)
        int64_t asked_ms = 0;   // when the room was asked for
        AllocatedRoom where;
    };

    void send_wanted_lookups(int64_t now_ms);
    void forget_missing(int64_t now_ms);
    void start_refresh(int64_t now_ms);
    void on_answer(const KubeAnswer& answer, int64_t now_ms, std::vector<RoomEvent>& events);
    void on_room_answer(const std::string& code, Room& room, const KubeAnswer& answer, int64_t now_ms,
                        std::vector<RoomEvent>& events);
    void on_check_free(const std::string& code, Room& room, const KubeAnswer& answer, int64_t now_ms,
                       std::vector<RoomEvent>& events);
    void on_allocation(const std::string& code, Room& room, const KubeAnswer& answer, int64_t now_ms,
                       std::vector<RoomEvent>& events);
    void on_lookup(const std::string& code, Room& room, const KubeAnswer& answer, int64_t now_ms);
    void on_refresh(const KubeAnswer& answer, std::vector<RoomEvent>& events);
    void fail(const std::string& code, Room& room, std::string detail, std::vector<RoomEvent>& events);
    void warn_api(const char* what, const KubeAnswer& answer, int64_t now_ms);
    bool starts_at_limit() const;

    AgonesRoomsConfig config_;
    KubeClient api_;
    std::map<std::string, Room, std::less<>> rooms_;
    std::vector<std::string> wanted_lookups_; // asked of look_up(), sent by the next poll
    std::map<uint64_t, std::string> calls_;           // call id -> the room's code
    uint64_t refresh_call_ = 0;
    int64_t refresh_sent_ms_ = 0;
    int64_t next_refresh_ms_ = 0;
    int64_t now_ms_ = 0;          // as of the last poll
    int64_t busy_until_ms_ = -1;
    int64_t last_warning_ms_ = -1;
    uint64_t warnings_left_out_ = 0;
    bool closing_ = false;
    AgonesCounts counts_;
};

} // namespace cog::door
