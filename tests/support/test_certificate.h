// A self-signed certificate and its key for localhost, made with the openssl command in a folder
// the caller owns, for tests that serve or reach the web port over TLS.
#pragma once

#include <cstdlib>
#include <string>

namespace cog::test {

struct TestCertificate {
    std::string certificate; // PEM paths
    std::string key;
};

// `stem` names the pair inside `folder`; false when openssl could not make it.
inline bool make_test_certificate(const std::string& folder, const std::string& stem, TestCertificate& out) {
    out.certificate = folder + "/" + stem + "-cert.pem";
    out.key = folder + "/" + stem + "-key.pem";
    const std::string command = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1"
                                " -subj /CN=localhost -addext subjectAltName=DNS:localhost,IP:127.0.0.1 -keyout '" +
                                out.key + "' -out '" + out.certificate + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

} // namespace cog::test
