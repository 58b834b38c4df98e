// The certificate and key loaded once into a throw-away OpenSSL context, as the library will load them.
#include "server/web/tls_files.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <cstdio>
#include <memory>

namespace cog::web {

namespace {

bool readable(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    const bool has_bytes = std::fgetc(file) != EOF;
    std::fclose(file);
    return has_bytes;
}

} // namespace

const char* tls_file_error_text(TlsFileError error) {
    switch (error) {
    case TlsFileError::None: return "usable";
    case TlsFileError::CertificateUnreadable: return "the certificate file cannot be read";
    case TlsFileError::KeyUnreadable: return "the key file cannot be read";
    case TlsFileError::CertificateInvalid: return "the certificate file holds no PEM certificate";
    case TlsFileError::KeyInvalid: return "the key file holds no PEM private key";
    case TlsFileError::KeyMismatch: return "the key does not belong to the certificate";
    }
    return "?";
}

TlsFileError check_tls_files(const std::string& certificate, const std::string& key) {
    if (!readable(certificate)) return TlsFileError::CertificateUnreadable;
    if (!readable(key)) return TlsFileError::KeyUnreadable;
    const std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> context(SSL_CTX_new(TLS_server_method()), SSL_CTX_free);
    TlsFileError result = TlsFileError::None;
    // The key goes in first: loaded after the certificate, a key of another pair would be
    // refused as unreadable rather than named as the wrong key.
    if (!context) result = TlsFileError::CertificateInvalid;
    else if (SSL_CTX_use_PrivateKey_file(context.get(), key.c_str(), SSL_FILETYPE_PEM) != 1)
        result = TlsFileError::KeyInvalid;
    else if (SSL_CTX_use_certificate_chain_file(context.get(), certificate.c_str()) != 1)
        result = TlsFileError::CertificateInvalid;
    else if (SSL_CTX_check_private_key(context.get()) != 1)
        result = TlsFileError::KeyMismatch;
    ERR_clear_error(); // the reasons are in `result`; the queue must not leak into later calls
    return result;
}

} // namespace cog::web
