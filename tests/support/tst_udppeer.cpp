#include "support/KoTestUdpPeer.h"

#include <QSignalSpy>
#include <QUdpSocket>
#include <QtTest>

class TestUdpPeer : public QObject
{
    Q_OBJECT

private slots:
    void roundTripThroughHandler()
    {
        KoTestUdpPeer phone;
        QVERIFY(phone.bind());
        QVERIFY(phone.port() != 0);
        phone.setHandler([](const QByteArray& d, QHostAddress, quint16) {
            return QList<QByteArray>{"ack:" + d, "second"};
        });

        KoTestUdpPeer computer;
        QVERIFY(computer.bind());
        QVERIFY(computer.send("{\"type\":\"hello\"}", QHostAddress::LocalHost, phone.port()));
        QVERIFY(phone.waitForDatagrams(1));
        QCOMPARE(phone.datagrams().at(0).data, QByteArray("{\"type\":\"hello\"}"));
        QCOMPARE(phone.datagrams().at(0).port, computer.port());
        QVERIFY(phone.datagrams().at(0).from.isEqual(QHostAddress::LocalHost, QHostAddress::ConvertV4MappedToIPv4));

        QVERIFY(computer.waitForDatagrams(2));
        QCOMPARE(computer.payloads(), (QList<QByteArray>{"ack:{\"type\":\"hello\"}", "second"}));
        QCOMPARE(computer.datagrams().at(0).port, phone.port());
        computer.clearDatagrams();
        QVERIFY(computer.datagrams().isEmpty());
    }

    void fixedPortAndPlainSocketClient()
    {
        // Find a free port, then bind the peer to it on purpose.
        quint16 port = 0;
        {
            QUdpSocket probe;
            QVERIFY(probe.bind(QHostAddress(QHostAddress::LocalHost), 0));
            port = probe.localPort();
        }
        KoTestUdpPeer peer;
        QVERIFY(peer.bind(port));
        QCOMPARE(peer.port(), port);
        KoTestUdpPeer clash;
        QVERIFY(!clash.bind(port));

        QUdpSocket client;
        QVERIFY(client.bind(QHostAddress(QHostAddress::LocalHost), 0));
        QSignalSpy got(&peer, &KoTestUdpPeer::datagramReceived);
        client.writeDatagram(QByteArray(1200, 'x'), QHostAddress::LocalHost, port);
        client.writeDatagram(QByteArray(), QHostAddress::LocalHost, port);
        QVERIFY(peer.waitForDatagrams(2));
        QCOMPARE(got.count(), 2);
        QCOMPARE(peer.datagrams().at(0).data, QByteArray(1200, 'x'));
        QVERIFY(peer.datagrams().at(1).data.isEmpty());
        QVERIFY(!peer.waitForDatagrams(3, 100));
    }
};

QTEST_GUILESS_MAIN(TestUdpPeer)
#include "tst_udppeer.moc"
