#include <QtTest>

#include "support/KoTestFiles.h"

using KoTestFiles::readFile;
using KoTestFiles::writeFile;

#include "app/KoCheckSumUtil.h"

#include <unistd.h>

static QByteArray patterned(int size, int seed)
{
    QByteArray bytes(size, '\0');
    quint32 x = quint32(seed) * 2654435761u + 1;
    for (int i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        bytes[i] = char(x >> 24);
    }
    return bytes;
}

// The documented version-1 layout, written out independently.
static QString expectedV1(const QString& name, const QByteArray& content)
{
    QCryptographicHash h(QCryptographicHash::Md5);
    h.addData(name.toUtf8());
    h.addData(QByteArray(1, '\0'));
    h.addData(QByteArray::number(content.size()));
    h.addData(QByteArray(1, '\0'));
    const int size = content.size();
    if (size <= 1048576) {
        h.addData(content);
    } else {
        h.addData(content.mid(0, 65536));
        h.addData(content.mid((size - 65536) / 2, 65536));
        h.addData(content.mid(size - 65536, 65536));
    }
    return QString(h.result().toHex().toUpper());
}

class TestCheckSum : public QObject
{
    Q_OBJECT
private slots:
    void matchesTheLayout_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("size");
        QTest::newRow("empty") << "empty" << 0;
        QTest::newRow("1 MiB, whole") << QString::fromUtf8("照片 1.jpg") << 1048576;
        QTest::newRow("just above: samples overlap") << "edge.bin" << 1048577;
    }
    void matchesTheLayout()
    {
        QFETCH(QString, name);
        QFETCH(int, size);
        QTemporaryDir dir;
        const QByteArray content = patterned(size, size);
        QVERIFY(writeFile(dir.filePath(name), content));
        QCOMPARE(KoCheckSumUtil::getFileCheckSumWithVersion(dir.filePath(name), 1), expectedV1(name, content));
    }

    void largeFileIsSampled()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("big.bin");
        QByteArray content = patterned(3 * 1048576 + 123, 2);
        QVERIFY(writeFile(path, content));
        const QString sum = KoCheckSumUtil::getCurrentVersionFileCheckSum(path);
        QCOMPARE(sum, expectedV1("big.bin", content));
        QCOMPARE(KoCheckSumUtil::getCurrentVersionFileCheckSum(path), sum);

        // A change inside the middle sample shows; one between samples does not.
        const int size = content.size();
        QByteArray changed = content;
        changed[(size - 65536) / 2 + 10] = char(changed[(size - 65536) / 2 + 10] ^ 0x5a);
        QVERIFY(writeFile(path, changed));
        QVERIFY(KoCheckSumUtil::getCurrentVersionFileCheckSum(path) != sum);

        changed = content;
        changed[200000] = char(changed[200000] ^ 0x5a);
        QVERIFY(writeFile(path, changed));
        QCOMPARE(KoCheckSumUtil::getCurrentVersionFileCheckSum(path), sum);

        changed = content;
        changed[size - 1] = char(changed[size - 1] ^ 0x5a);
        QVERIFY(writeFile(path, changed));
        QVERIFY(KoCheckSumUtil::getCurrentVersionFileCheckSum(path) != sum);
    }

    void changesWithContentNameAndSize()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("a.txt");
        QVERIFY(writeFile(path, "hello"));
        const QString first = KoCheckSumUtil::getCurrentVersionFileCheckSum(path);
        QVERIFY(writeFile(path, "hellp"));
        QVERIFY(KoCheckSumUtil::getCurrentVersionFileCheckSum(path) != first);
        QVERIFY(writeFile(path, "hello"));
        const QString other = dir.filePath("b.txt");
        QVERIFY(QFile::rename(path, other));
        QVERIFY(KoCheckSumUtil::getCurrentVersionFileCheckSum(other) != first);
    }

    void emptyForFolderMissingAndOtherVersions()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("a.txt");
        QVERIFY(writeFile(path, "data"));
        for (const QString& p : {dir.path(), dir.filePath("missing"), QString()})
            QVERIFY(KoCheckSumUtil::getFileCheckSumWithVersion(p, 1).isEmpty());
        for (int version : {0, 2})
            QVERIFY(KoCheckSumUtil::getFileCheckSumWithVersion(path, version).isEmpty());
    }

    void unreadableFileGivesEmpty()
    {
        if (::geteuid() == 0)
            QSKIP("root reads every file");
        QTemporaryDir dir;
        const QString path = dir.filePath("locked");
        QVERIFY(writeFile(path, "secret"));
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
        QVERIFY(KoCheckSumUtil::getCurrentVersionFileCheckSum(path).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCheckSum)
#include "tst_checksum.moc"
