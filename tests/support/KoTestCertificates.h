#pragma once

// Test-only TLS material: a throw-away CA and a server certificate for 127.0.0.1 / localhost
// signed by it, made with the openssl command line the first time a test asks for them and
// kept in a temporary folder for the life of the process. Clients trust the CA explicitly;
// nothing here (or in the tests) ignores TLS errors.

#include <QByteArray>
#include <QSslCertificate>
#include <QSslKey>

namespace KoTestCertificates {
bool ensure();                   // false when openssl is missing or failed (the reason is logged)
QSslCertificate caCertificate(); // the test CA, to be trusted by the client through its CA hook
bool trust();                    // ensure(), then the request layer trusts the test CA
QSslCertificate serverCertificate();
QSslKey serverKey();
QString caCertificateFile(); // PEM file of the CA (for tools that want a path)
} // namespace KoTestCertificates
