// The TLS files a host is started with: each way they can be wrong is named, a bad pair keeps the
// endpoint from opening, a good one opens it secure, where plain HTTP is only redirected.
#include "server/web/tls_files.h"
#include "server/web/web_endpoint.h"
#include "tests/support/test_certificate.h"
#include "tests/ws_client/ws_client.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace cog::web {
namespace {

namespace fs = std::filesystem;

TEST(TlsFiles, EachWrongFileIsNamedAndOnlyAGoodPairOpensTheEndpoint) {
    const fs::path base = fs::temp_directory_path() / ("cog_tls_files_" + std::to_string(getpid()));
    fs::remove_all(base);
    fs::create_directories(base / "site");
    std::ofstream(base / "site" / "index.html") << "<html>cogwell</html>";
    test::TestCertificate one, other;
    ASSERT_TRUE(test::make_test_certificate(base.string(), "one", one));
    ASSERT_TRUE(test::make_test_certificate(base.string(), "other", other));
    const std::string missing = (base / "missing.pem").string();
    const std::string empty = (base / "empty.pem").string();
    std::ofstream{empty}.flush();

    EXPECT_EQ(check_tls_files(one.certificate, one.key), TlsFileError::None);
    EXPECT_EQ(check_tls_files(missing, one.key), TlsFileError::CertificateUnreadable);
    EXPECT_EQ(check_tls_files(empty, one.key), TlsFileError::CertificateUnreadable);
    EXPECT_EQ(check_tls_files(one.certificate, missing), TlsFileError::KeyUnreadable);
    EXPECT_EQ(check_tls_files(one.key, one.key), TlsFileError::CertificateInvalid);
    EXPECT_EQ(check_tls_files(one.certificate, one.certificate), TlsFileError::KeyInvalid);
    EXPECT_EQ(check_tls_files(one.certificate, other.key), TlsFileError::KeyMismatch);

    // The endpoint refuses to open on a bad pair rather than serving plain HTTP instead.
    WebError error = WebError::None;
    TlsFileError reason = TlsFileError::None;
    WebConfig config(0, (base / "site").string(), true);
    config.tls_certificate = one.certificate;
    config.tls_key = other.key;
    EXPECT_FALSE(WebEndpoint::open(config, error, &reason));
    EXPECT_EQ(error, WebError::BadTlsFiles);
    EXPECT_EQ(reason, TlsFileError::KeyMismatch);

    config.tls_key = one.key;
    const auto endpoint = WebEndpoint::open(config, error);
    ASSERT_TRUE(endpoint) << web_error_name(error);
    EXPECT_TRUE(endpoint->secure());
    // Plain HTTP on the port is sent on to https://, not served.
    test::HttpGet plain(endpoint->port(), "/");
    test::drive_until([&] { endpoint->service(); }, [&] { return plain.poll(); }, 500);
    EXPECT_EQ(plain.status(), 301);
    EXPECT_EQ(plain.body().find("cogwell"), std::string::npos);
    fs::remove_all(base);
}

} // namespace
} // namespace cog::web
