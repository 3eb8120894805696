#include "test_pki.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <stdexcept>

namespace olvex::test {

namespace {

EVP_PKEY* NewKey() {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    if (!key)
        throw std::runtime_error("cannot make a key");
    return key;
}

void AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext)
        throw std::runtime_error("bad extension");
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

// Signed by `issuerKey` under `issuer`'s name, or self-signed when issuer is null.
X509* NewCert(EVP_PKEY* key, const char* commonName, X509* issuer, EVP_PKEY* issuerKey,
              long fromSeconds, long toSeconds, const char* altNames) {
    static long serial = 1;
    X509* cert = X509_new();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), serial++);
    X509_gmtime_adj(X509_getm_notBefore(cert), fromSeconds);
    X509_gmtime_adj(X509_getm_notAfter(cert), toSeconds);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
    X509_set_issuer_name(cert, issuer ? X509_get_subject_name(issuer) : name);
    X509* signer = issuer ? issuer : cert;
    if (altNames) {
        AddExtension(cert, signer, NID_basic_constraints, "critical,CA:FALSE");
        AddExtension(cert, signer, NID_subject_alt_name, altNames);
    } else {
        AddExtension(cert, signer, NID_basic_constraints, "critical,CA:TRUE");
        AddExtension(cert, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    }
    AddExtension(cert, signer, NID_subject_key_identifier, "hash");
    if (!X509_sign(cert, issuer ? issuerKey : key, EVP_sha256()))
        throw std::runtime_error("cannot sign");
    return cert;
}

void WriteCert(const std::string& path, X509* cert) {
    FILE* file = std::fopen(path.c_str(), "w");
    if (!file || !PEM_write_X509(file, cert))
        throw std::runtime_error("cannot write " + path);
    std::fclose(file);
}

} // namespace

TestPki::TestPki() {
    char pattern[] = "/tmp/olvex-pki-XXXXXX";
    if (!::mkdtemp(pattern))
        throw std::runtime_error("no temporary folder");
    dir = pattern;
    caFile = dir + "/ca.pem";
    otherCaFile = dir + "/other-ca.pem";
    keyFile = dir + "/server.key";
    certFile = dir + "/server.pem";
    expiredCertFile = dir + "/expired.pem";
    otherHostCertFile = dir + "/other-host.pem";

    constexpr long kDay = 24 * 3600;
    EVP_PKEY* caKey = NewKey();
    EVP_PKEY* otherKey = NewKey();
    EVP_PKEY* serverKey = NewKey();
    X509* ca = NewCert(caKey, "Olvex Test CA", nullptr, nullptr, -kDay, 30 * kDay, nullptr);
    X509* other = NewCert(otherKey, "Another CA", nullptr, nullptr, -kDay, 30 * kDay, nullptr);
    const char* names = "DNS:localhost,IP:127.0.0.1";
    X509* server = NewCert(serverKey, "localhost", ca, caKey, -kDay, 30 * kDay, names);
    X509* expired = NewCert(serverKey, "localhost", ca, caKey, -3 * kDay, -kDay, names);
    X509* otherHost =
        NewCert(serverKey, "chat.example", ca, caKey, -kDay, 30 * kDay, "DNS:chat.example");
    WriteCert(caFile, ca);
    WriteCert(otherCaFile, other);
    WriteCert(certFile, server);
    WriteCert(expiredCertFile, expired);
    WriteCert(otherHostCertFile, otherHost);
    FILE* file = std::fopen(keyFile.c_str(), "w");
    if (!file || !PEM_write_PrivateKey(file, serverKey, nullptr, nullptr, 0, nullptr, nullptr))
        throw std::runtime_error("cannot write the key");
    std::fclose(file);
    for (X509* cert : {ca, other, server, expired, otherHost})
        X509_free(cert);
    for (EVP_PKEY* key : {caKey, otherKey, serverKey})
        EVP_PKEY_free(key);
}

TestPki::~TestPki() {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

} // namespace olvex::test
