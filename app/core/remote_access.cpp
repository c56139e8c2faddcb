#include "app/core/remote_access.h"

#include "app/core/settings_store.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

namespace vesper::remote {

namespace {

QByteArray randomBytes(int count) {
    QByteArray bytes(count, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(bytes.data()), count / 4);
    return bytes;
}

QByteArray digest(const QByteArray& salt, const QByteArray& token) {
    return QCryptographicHash::hash(salt + token, QCryptographicHash::Sha256);
}

std::string get(const char* name, const char* defaultValue) { return RegGetSetting2(kKey, name, defaultValue); }

} // namespace

Settings loadSettings() {
    Settings s;
    s.enabled = settingToBool(get(kEnabled, "0"));
    s.address = QString::fromStdString(get(kAddress, kDefaultAddress)).trimmed();
    if (s.address.isEmpty()) s.address = kDefaultAddress;
    bool ok = false;
    const uint port = QString::fromStdString(get(kPort, "")).trimmed().toUInt(&ok);
    s.port = ok && port >= 1 && port <= 65535 ? uint16_t(port) : kDefaultPort;
    s.tokenHash = QByteArray::fromStdString(get(kTokenHash, ""));
    s.certificate = QString::fromStdString(get(kCertificate, ""));
    s.privateKey = QString::fromStdString(get(kPrivateKey, ""));
    return s;
}

void saveEnabled(bool enabled) { RegSaveSetting2(kKey, kEnabled, enabled ? "1" : "0"); }

QByteArray newToken() {
    return randomBytes(32).toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QByteArray hashToken(const QByteArray& token) {
    const QByteArray salt = randomBytes(16);
    return salt.toHex() + ':' + digest(salt, token).toHex();
}

bool tokenMatches(const QByteArray& token, const QByteArray& stored) {
    const qsizetype colon = stored.indexOf(':');
    if (colon <= 0 || token.isEmpty()) return false;
    const QByteArray salt = QByteArray::fromHex(stored.left(colon));
    const QByteArray expected = QByteArray::fromHex(stored.mid(colon + 1));
    const QByteArray actual = digest(salt, token);
    if (expected.size() != actual.size()) return false;
    // Every byte is compared, so that the time taken tells nothing.
    unsigned char difference = 0;
    for (qsizetype i = 0; i < actual.size(); ++i)
        difference |= static_cast<unsigned char>(actual[i] ^ expected[i]);
    return difference == 0;
}

QByteArray renewToken() {
    const QByteArray token = newToken();
    RegSaveSetting2(kKey, kTokenHash, hashToken(token).toStdString());
    return token;
}

} // namespace vesper::remote
