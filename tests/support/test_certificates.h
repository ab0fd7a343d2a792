// Certificates a test makes for itself with OpenSSL: an authority of its own
// and server certificates it signs, for chosen names and times.
#pragma once

#include <gtest/gtest.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <string>

namespace kestrune::test {

class TestAuthority {
 public:
  // The authority's key and certificate; its certificate goes to `caFile`.
  explicit TestAuthority(const std::string& caFile) : caFile_(caFile) {
    key_ = EVP_EC_gen("P-256");
    cert_ = Make(key_, "Kestrune Test Authority", nullptr, -3600, 86400, "critical,CA:TRUE",
                 "critical,keyCertSign,cRLSign", nullptr);
    Write(caFile, nullptr, cert_);
  }
  ~TestAuthority() {
    X509_free(cert_);
    EVP_PKEY_free(key_);
  }
  TestAuthority(const TestAuthority&) = delete;
  TestAuthority& operator=(const TestAuthority&) = delete;

  const std::string& CaFile() const { return caFile_; }

  // A server certificate for `altNames` ("DNS:localhost,IP:127.0.0.1"),
  // valid from `fromSeconds` to `toSeconds` (relative to now), signed by the
  // authority; key and certificate to the files named.
  void Issue(const std::string& keyFile, const std::string& certFile, const std::string& altNames,
             long fromSeconds = -3600, long toSeconds = 86400) {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* cert = Make(key, "server", this, fromSeconds, toSeconds, "critical,CA:FALSE",
                      "critical,digitalSignature", altNames.c_str());
    Write(keyFile, key, nullptr);
    Write(certFile, nullptr, cert);
    X509_free(cert);
    EVP_PKEY_free(key);
  }

 private:
  static void Extension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    ASSERT_NE(ext, nullptr) << value;
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
  }

  X509* Make(EVP_PKEY* key, const char* commonName, const TestAuthority* signer, long from, long to,
             const char* constraints, const char* usage, const char* altNames) {
    X509* cert = X509_new();
    X509_set_version(cert, 2);
    static long serial = 1;
    ASN1_INTEGER_set(X509_get_serialNumber(cert), serial++);
    X509_gmtime_adj(X509_getm_notBefore(cert), from);
    X509_gmtime_adj(X509_getm_notAfter(cert), to);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
    X509* issuer = signer != nullptr ? signer->cert_ : cert;
    X509_set_issuer_name(cert, X509_get_subject_name(issuer));
    Extension(cert, issuer, NID_basic_constraints, constraints);
    Extension(cert, issuer, NID_key_usage, usage);
    Extension(cert, issuer, NID_subject_key_identifier, "hash");
    if (altNames != nullptr) Extension(cert, issuer, NID_subject_alt_name, altNames);
    EXPECT_GT(X509_sign(cert, signer != nullptr ? signer->key_ : key, EVP_sha256()), 0);
    return cert;
  }

  static void Write(const std::string& path, EVP_PKEY* key, X509* cert) {
    BIO* out = BIO_new_file(path.c_str(), "w");
    ASSERT_NE(out, nullptr) << path;
    if (key != nullptr) PEM_write_bio_PrivateKey(out, key, nullptr, nullptr, 0, nullptr, nullptr);
    if (cert != nullptr) PEM_write_bio_X509(out, cert);
    BIO_free(out);
  }

  std::string caFile_;
  EVP_PKEY* key_ = nullptr;
  X509* cert_ = nullptr;
};

}  // namespace kestrune::test
