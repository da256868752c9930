#pragma once

#include "platform/secrets/SecretBytes.h"

#include <QByteArray>
#include <QString>

// What checking a typed password needs of a stored one: a salted SHA-256 digest, so that the stored
// text itself need not be kept. The digest bytes are cleansed when the last copy goes.
class PasswordDigest
{
public:
    // The digest of `text`; the text is cleansed (when this code alone holds it) and left empty.
    static PasswordDigest take(QString&& text);
    // The digest of a text given as UTF-8 bytes.
    static PasswordDigest of(const SecretBytes& utf8);

    PasswordDigest(const PasswordDigest&) = default;
    PasswordDigest& operator=(const PasswordDigest& other);
    ~PasswordDigest();

    // Whether `typed` is the digested text, in a time that does not depend on where they differ.
    // The bytes made of `typed` on the way are cleansed.
    bool matches(const QString& typed) const;

private:
    PasswordDigest(QByteArray salt, QByteArray digest);
    static QByteArray digestOf(const QByteArray& salt, const QString& text);
    static QByteArray digestOf(const QByteArray& salt, const char* utf8, size_t size);
    static QByteArray newSalt();

    QByteArray m_salt;
    QByteArray m_digest;
};

// Overwrites a text that this code alone holds (a shared one is left to its other owners) and
// empties it.
void cleanseText(QString& text);
