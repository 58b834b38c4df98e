// Checks a TLS certificate and private key before the web endpoint serves with them, so a wrong
// file is one clear start-up error instead of a library failure deep inside its set-up.
#pragma once

#include <cstdint>
#include <string>

namespace cog::web {

enum class TlsFileError : uint8_t { None, CertificateUnreadable, KeyUnreadable, CertificateInvalid, KeyInvalid, KeyMismatch };

// A sentence for the operator, e.g. "the certificate file cannot be read".
const char* tls_file_error_text(TlsFileError error);

// `certificate`: PEM, the server's certificate followed by any intermediates; `key`: its PEM key.
TlsFileError check_tls_files(const std::string& certificate, const std::string& key);

} // namespace cog::web
