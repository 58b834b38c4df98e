// Plain and TLS reads and writes of a player's socket.
#include "door/client_stream.h"

#include <cerrno>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace cog::door {

const char* tls_load_error_text(TlsLoadError error) {
    switch (error) {
    case TlsLoadError::None: return "no error";
    case TlsLoadError::CertificateUnreadable: return "the certificate cannot be read as PEM";
    case TlsLoadError::KeyUnreadable: return "the key cannot be read as PEM";
    case TlsLoadError::KeyMismatch: return "the key does not belong to the certificate";
    case TlsLoadError::LibraryFailed: return "OpenSSL could not set up TLS";
    }
    return "unknown error";
}

TlsContext::~TlsContext() {
    if (context_) SSL_CTX_free(context_);
}

TlsLoadError TlsContext::load(const std::string& certificate_pem, const std::string& key_pem) {
    context_ = SSL_CTX_new(TLS_server_method());
    if (!context_) return TlsLoadError::LibraryFailed;
    SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
    SSL_CTX_set_mode(context_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER |
                                   SSL_MODE_RELEASE_BUFFERS);
    TlsLoadError error = TlsLoadError::None;
    if (SSL_CTX_use_certificate_chain_file(context_, certificate_pem.c_str()) != 1)
        error = TlsLoadError::CertificateUnreadable;
    else if (SSL_CTX_use_PrivateKey_file(context_, key_pem.c_str(), SSL_FILETYPE_PEM) != 1)
        error = TlsLoadError::KeyUnreadable;
    else if (SSL_CTX_check_private_key(context_) != 1)
        error = TlsLoadError::KeyMismatch;
    ERR_clear_error();
    return error;
}

ClientStream::ClientStream(int fd, SSL_CTX* tls) : fd_(fd) {
    if (!tls) return;
    ssl_ = SSL_new(tls);
    if (!ssl_) return;
    SSL_set_fd(ssl_, fd_);
    SSL_set_accept_state(ssl_);
}

ClientStream::~ClientStream() {
    if (ssl_) SSL_free(ssl_);
}

bool ClientStream::has_buffered() const { return ssl_ && SSL_pending(ssl_) > 0; }

IoResult ClientStream::finish_tls(int result) {
    if (result > 0) return {IoStatus::Ok, static_cast<size_t>(result)};
    const int reason = SSL_get_error(ssl_, result);
    ERR_clear_error();
    if (reason == SSL_ERROR_WANT_READ) {
        wants_readable_ = true;
        return {IoStatus::WouldBlock, 0};
    }
    if (reason == SSL_ERROR_WANT_WRITE) {
        wants_writable_ = true;
        return {IoStatus::WouldBlock, 0};
    }
    if (reason == SSL_ERROR_ZERO_RETURN) return {IoStatus::Closed, 0};
    return {IoStatus::Failed, 0};
}

IoResult ClientStream::read(char* out, size_t capacity) {
    wants_writable_ = wants_readable_ = false;
    if (capacity == 0) return {IoStatus::Ok, 0};
    if (ssl_) return finish_tls(SSL_read(ssl_, out, static_cast<int>(capacity)));
    const ssize_t got = ::recv(fd_, out, capacity, 0);
    if (got > 0) return {IoStatus::Ok, static_cast<size_t>(got)};
    if (got == 0) return {IoStatus::Closed, 0};
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        wants_readable_ = true;
        return {IoStatus::WouldBlock, 0};
    }
    return {IoStatus::Failed, 0};
}

IoResult ClientStream::write(const char* bytes, size_t size) {
    wants_writable_ = wants_readable_ = false;
    if (size == 0) return {IoStatus::Ok, 0};
    if (ssl_) return finish_tls(SSL_write(ssl_, bytes, static_cast<int>(size)));
    const ssize_t sent = ::send(fd_, bytes, size, MSG_NOSIGNAL);
    if (sent >= 0) return {IoStatus::Ok, static_cast<size_t>(sent)};
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        wants_writable_ = true;
        return {IoStatus::WouldBlock, 0};
    }
    return {IoStatus::Failed, 0};
}

} // namespace cog::door
