// The host's options: environment twins, arguments winning over them, and refused values.
#include "server/options/options.h"

#include <gtest/gtest.h>

#include <cstring>

namespace cog {
namespace {

const char* admin_env(const char* name) {
    if (std::strcmp(name, "COGWELL_DEBUG_COMMANDS") == 0) return "admin";
    if (std::strcmp(name, "AGONES_SDK_HTTP_PORT") == 0) return "9358";
    return nullptr;
}
const char* no_env(const char*) { return nullptr; }

TEST(HostOptions, EnvironmentSetsModesAndArgumentsWin) {
    const char* none[] = {"host"};
    ParsedOptions parsed = parse_host_options(1, none, admin_env);
    ASSERT_EQ(parsed.error, OptionsError::None);
    EXPECT_EQ(parsed.options.debug_commands, DebugCommandsMode::ADMIN);
    EXPECT_TRUE(parsed.options.agones);
    EXPECT_EQ(parsed.options.port, 5556);
    EXPECT_EQ(parsed.options.web_port, 8080);
    EXPECT_EQ(parsed.options.max_players_per_address, 16u);

    const char* args[] = {"host", "--debug-commands", "off", "--web-port=0", "--record", "game.rec",
                          "--max-players-per-address=0"};
    parsed = parse_host_options(7, args, admin_env);
    ASSERT_EQ(parsed.error, OptionsError::None);
    EXPECT_EQ(parsed.options.max_players_per_address, 0u);
    EXPECT_EQ(parsed.options.debug_commands, DebugCommandsMode::OFF);
    EXPECT_EQ(parsed.options.web_port, 0);
    EXPECT_EQ(parsed.options.record_path, "game.rec");

    // Per-address limits and allowed origins: the latter gathered from every use.
    const char* limits[] = {"host", "--allow-origin", "https://front.example", "--max-logins-per-address=0",
                            "--allow-origin=*", "--max-handshakes-per-address", "3", "--max-tls-per-address=2"};
    parsed = parse_host_options(8, limits, no_env);
    ASSERT_EQ(parsed.error, OptionsError::None);
    EXPECT_EQ(parsed.options.allowed_origins, (std::vector<std::string>{"https://front.example", "*"}));
    EXPECT_EQ(parsed.options.pending_logins_per_address, 0u);
    EXPECT_EQ(parsed.options.handshakes_per_address, 3u);
    EXPECT_EQ(parsed.options.tls_per_address_second, 2u);
    const char* negative[] = {"host", "--max-handshakes-per-address", "-1"};
    EXPECT_EQ(parse_host_options(3, negative, no_env).error, OptionsError::BadValue);
    // Front doors, gathered from every use; none by default.
    EXPECT_TRUE(parsed.options.trusted_proxies.empty());
    const char* doors[] = {"host", "--trusted-proxy", "10.0.0.0/8", "--trusted-proxy=::1/128"};
    parsed = parse_host_options(4, doors, no_env);
    ASSERT_EQ(parsed.error, OptionsError::None);
    ASSERT_EQ(parsed.options.trusted_proxies.size(), 2u);
    EXPECT_TRUE(web::is_trusted_peer(parsed.options.trusted_proxies, "10.1.2.3"));
    EXPECT_TRUE(web::is_trusted_peer(parsed.options.trusted_proxies, "::1"));
    const char* not_a_network[] = {"host", "--trusted-proxy", "10.0.0.0/40"};
    EXPECT_EQ(parse_host_options(3, not_a_network, no_env).error, OptionsError::BadValue);
}

TEST(HostOptions, RefusesWhatItCannotUse) {
    const char* bad_port[] = {"host", "--web-port", "70000"};
    EXPECT_EQ(parse_host_options(3, bad_port, no_env).error, OptionsError::BadValue);
    const char* bad_mode[] = {"host", "--debug-commands=everyone"};
    EXPECT_EQ(parse_host_options(2, bad_mode, no_env).error, OptionsError::BadValue);
    const char* bad_count[] = {"host", "--max-players-per-address", "-1"};
    EXPECT_EQ(parse_host_options(3, bad_count, no_env).error, OptionsError::BadValue);
    const char* missing[] = {"host", "--record"};
    EXPECT_EQ(parse_host_options(2, missing, no_env).error, OptionsError::MissingValue);
    const char* half_tls[] = {"host", "--tls-cert", "cert.pem"};
    EXPECT_EQ(parse_host_options(3, half_tls, no_env).error, OptionsError::MissingValue);
    const char* unknown[] = {"host", "--colour"};
    const ParsedOptions parsed = parse_host_options(2, unknown, no_env);
    EXPECT_EQ(parsed.error, OptionsError::UnknownOption);
    EXPECT_NE(parsed.message.find("--colour"), std::string::npos);
    EXPECT_NE(host_usage("host").find("--debug-commands open|admin|off"), std::string::npos);
}

const char* fleet_env(const char* name) {
    if (std::strcmp(name, "AGONES_SDK_HTTP_PORT") == 0) return "9400";
    if (std::strcmp(name, "COGWELL_IDLE_SHUTDOWN") == 0) return "30";
    if (std::strcmp(name, "COGWELL_ALLOCATED_TIMEOUT") == 0) return "90";
    if (std::strcmp(name, "COGWELL_WEB_PORT") == 0) return "8081";
    if (std::strcmp(name, "COGWELL_LOG_LEVEL") == 0) return "warn";
    if (std::strcmp(name, "COGWELL_AGONES_LIST_API") == 0) return "v1alpha1";
    return nullptr;
}

const char* tls_env(const char* name) {
    if (std::strcmp(name, "COGWELL_TLS_CERT") == 0) return "/etc/room/cert.pem";
    if (std::strcmp(name, "COGWELL_TLS_KEY") == 0) return "/etc/room/key.pem";
    return nullptr;
}

TEST(HostOptions, TlsFilesComeInPairsFromTheEnvironmentOrTheArguments) {
    const char* none[] = {"host"};
    ParsedOptions parsed = parse_host_options(1, none, tls_env);
    ASSERT_EQ(parsed.error, OptionsError::None);
    EXPECT_EQ(parsed.options.tls_certificate, "/etc/room/cert.pem");
    EXPECT_EQ(parsed.options.tls_key, "/etc/room/key.pem");
    const char* args[] = {"host", "--tls-cert=a.pem", "--tls-key", "b.pem"};
    parsed = parse_host_options(4, args, no_env);
    ASSERT_EQ(parsed.error, OptionsError::None);
    EXPECT_EQ(parsed.options.tls_certificate, "a.pem");
    EXPECT_EQ(parsed.options.tls_key, "b.pem");
    EXPECT_TRUE(parse_host_options(1, none, no_env).options.tls_certificate.empty());
}

TEST(HostOptions, TheFleetSettingsComeFromTheRoomsEnvironment) {
    const char* none[] = {"host"};
    ParsedOptions parsed = parse_host_options(1, none, fleet_env);
    ASSERT_EQ(parsed.error, OptionsError::None);
    EXPECT_TRUE(parsed.options.agones);
    EXPECT_EQ(parsed.options.agones_port, 9400);
    EXPECT_EQ(parsed.options.idle_shutdown_s, 30);
    EXPECT_EQ(parsed.options.allocated_timeout_s, 90);
    EXPECT_EQ(parsed.options.web_port, 8081);
    EXPECT_EQ(parsed.options.log_level, LogLevel::Warning);
    EXPECT_EQ(parsed.options.agones_list_api, ListApi::ALPHA);
    parsed = parse_host_options(1, none, no_env);
    EXPECT_FALSE(parsed.options.agones);
    EXPECT_EQ(parsed.options.agones_port, 9358);
    EXPECT_EQ(parsed.options.allocated_timeout_s, 300);
    EXPECT_EQ(parsed.options.log_level, LogLevel::Debug); // everything, as before the threshold
    EXPECT_EQ(parsed.options.agones_list_api, ListApi::BETA);
    const char* args[] = {"host", "--log-level", "error", "--agones-list-api=v1beta1"};
    parsed = parse_host_options(4, args, fleet_env);
    EXPECT_EQ(parsed.options.log_level, LogLevel::Error);
    EXPECT_EQ(parsed.options.agones_list_api, ListApi::BETA);
    for (const char* bad : {"--idle-shutdown=-5", "--log-level=verbose", "--agones-list-api=v2", "--allocated-timeout=x"}) {
        const char* refused[] = {"host", bad};
        EXPECT_EQ(parse_host_options(2, refused, no_env).error, OptionsError::BadValue) << bad;
    }
}

} // namespace
} // namespace cog
