#include <QtTest>

#include "app/KoServerConfig.h"

class TestServerConfig : public QObject
{
    Q_OBJECT
private slots:
    void overridesAddTrailingSlashAndReset()
    {
        KoServerConfig::setRelayBaseUrl("https://127.0.0.1:1234/reraze");
        QCOMPARE(KoServerConfig::relayBaseUrl(), QString("https://127.0.0.1:1234/reraze/"));
        KoServerConfig::reset();
        QVERIFY(KoServerConfig::relayBaseUrl().endsWith(":8443/reraze/"));
    }
    void environmentPortOutOfRangeIsIgnored()
    {
        // 70000 must not wrap round to port 4464.
        qputenv("RERAZE_LOCAL_UDP_PORT", "70000");
        qputenv("RERAZE_PHONE_UDP_PORT", "65535");
        KoServerConfig::reset();
        QCOMPARE(int(KoServerConfig::localUdpPort()), 59631);
        QCOMPARE(int(KoServerConfig::phoneUdpPort()), 65535);
        qunsetenv("RERAZE_LOCAL_UDP_PORT");
        qunsetenv("RERAZE_PHONE_UDP_PORT");
        KoServerConfig::reset();
        QCOMPARE(int(KoServerConfig::localUdpPort()), 59631);
    }
};

QTEST_GUILESS_MAIN(TestServerConfig)
#include "tst_serverconfig.moc"
