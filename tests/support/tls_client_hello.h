// A TLS 1.3 ClientHello made once with OpenSSL and kept as bytes, so a test or a load tool can
// send it again and again and make the host do a handshake's costly half without doing any of its own.
#pragma once

#include <openssl/bio.h>
#include <openssl/ssl.h>

#include <string>

namespace cog::test {

// The first flight of a TLS 1.3 client naming `server_name`; empty when OpenSSL could not make it.
inline std::string prepared_client_hello(const char* server_name = "localhost") {
    std::string hello;
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    if (!context) return hello;
    SSL_CTX_set_min_proto_version(context, TLS1_3_VERSION);
    SSL* ssl = SSL_new(context);
    BIO* in = BIO_new(BIO_s_mem());
    BIO* out = BIO_new(BIO_s_mem());
    if (ssl && in && out) {
        SSL_set_bio(ssl, in, out); // the connection owns both from here
        in = out = nullptr;
        SSL_set_tlsext_host_name(ssl, server_name);
        SSL_connect(ssl); // wants to read the answer: the hello is all it wrote
        char* bytes = nullptr;
        const long size = BIO_get_mem_data(SSL_get_wbio(ssl), &bytes);
        if (size > 0) hello.assign(bytes, static_cast<size_t>(size));
    }
    BIO_free(in);
    BIO_free(out);
    SSL_free(ssl);
    SSL_CTX_free(context);
    return hello;
}

} // namespace cog::test
