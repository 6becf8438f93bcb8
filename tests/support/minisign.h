// Key pairs and signatures made with the publisher's own tool, minisign, for tests of signed update lists.
#pragma once

#include <QByteArray>
#include <QString>

namespace minisign {

// False when the tool is not installed; the tests that need it are then skipped.
bool Available();

struct TKeyPair
{
    QString SecretKeyFile;
    QByteArray KeyLine; // the second line of the public key file
};

// A new key pair without a password, its files in `folder`; an empty KeyLine on failure.
TKeyPair Generate(const QString& folder);
// The public key line of an existing secret key file (the tool recreates it); empty on failure.
QByteArray KeyLineOf(const QString& secretKeyFile, const QString& scratchFolder);

enum class TKind
{
    Prehashed, // "ED", the tool's default
    Legacy,    // "Ed"
};
// The .minisig text for `message`, made in `scratchFolder`; empty on failure.
QByteArray Sign(const QString& secretKeyFile, const QByteArray& message, const QString& scratchFolder,
                TKind kind = TKind::Prehashed, const QString& trustedComment = {});

} // namespace minisign
