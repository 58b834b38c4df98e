// A player's socket as the door reads and writes it: plain, or TLS over OpenSSL terminated here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace cog::door {

enum class IoStatus : uint8_t { Ok, WouldBlock, Closed, Failed };

struct IoResult {
    IoStatus status = IoStatus::Ok;
    size_t bytes = 0;
};

enum class TlsLoadError : uint8_t { None, CertificateUnreadable, KeyUnreadable, KeyMismatch, LibraryFailed };
const char* tls_load_error_text(TlsLoadError error);

// The server's certificate chain and key, loaded once.
class TlsContext {
public:
    TlsContext() = default;
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;
    TlsLoadError load(const std::string& certificate_pem, const std::string& key_pem);
    SSL_CTX* get() const { return context_; }

private:
    SSL_CTX* context_ = nullptr;
};

// Reads and writes of a non-blocking socket; with a TLS context, TLS is set up on it (the
// handshake happens inside the first reads and writes).
class ClientStream {
public:
    ClientStream(int fd, SSL_CTX* tls);
    ~ClientStream();
    ClientStream(const ClientStream&) = delete;
    ClientStream& operator=(const ClientStream&) = delete;

    IoResult read(char* out, size_t capacity);
    IoResult write(const char* bytes, size_t size);
    bool tls() const { return ssl_ != nullptr; }
    // After a WouldBlock: whether the socket must become writable (TLS may need to write to read).
    bool wants_writable() const { return wants_writable_; }
    bool wants_readable() const { return wants_readable_; }
    // Plain bytes TLS has decrypted and holds (not signalled by the socket).
    bool has_buffered() const;

private:
    IoResult finish_tls(int result);

    int fd_;
    SSL* ssl_ = nullptr;
    bool wants_writable_ = false, wants_readable_ = false;
};

} // namespace cog::door
