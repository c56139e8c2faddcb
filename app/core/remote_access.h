// Remote access: the settings of the HTTP server through which another device
// reads and changes the schedule, and its access token. The token is shown to
// the user once and only its salted hash is stored.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace vesper::remote {

// The settings, under the product key's "\Remote".
inline constexpr const char* kKey = "\\Remote";
inline constexpr const char* kEnabled = "Enabled";         // "1" switches the server on; off by default
inline constexpr const char* kAddress = "Address";         // the address it listens on
inline constexpr const char* kPort = "Port";               // the TCP port
inline constexpr const char* kTokenHash = "TokenHash";     // "salt:sha256", both in hex
inline constexpr const char* kCertificate = "Certificate"; // PEM certificate for HTTPS (optional)
inline constexpr const char* kPrivateKey = "PrivateKey";   // its PEM key
inline constexpr const char* kDefaultAddress = "127.0.0.1";
inline constexpr uint16_t kDefaultPort = 8469;

struct Settings {
    bool enabled = false;
    QString address = kDefaultAddress;
    uint16_t port = kDefaultPort;
    QByteArray tokenHash;
    QString certificate;
    QString privateKey;
};

// The stored settings; a port that is not a number from 1 to 65535 reads as
// the default.
Settings loadSettings();
void saveEnabled(bool enabled);

// A new random token (32 bytes, base64url without padding).
QByteArray newToken();
// The stored form of a token: a fresh random salt and SHA-256 of salt+token.
QByteArray hashToken(const QByteArray& token);
// Whether `token` matches the stored form, compared in constant time.
bool tokenMatches(const QByteArray& token, const QByteArray& stored);
// Makes a new token, stores its hash and returns the token (to show once).
QByteArray renewToken();

} // namespace vesper::remote
