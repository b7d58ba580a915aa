#include <QtTest>

#include "app/KoSettings.h"
#include "app/KoThisMachineInfo.h"

#include <sys/stat.h>

static int modeOf(const QString& path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 07777);
}

// What another process would read from the settings file now.
static QVariant onDisk(const QString& file, const QString& key)
{
    QSettings ini(file, QSettings::IniFormat);
    return ini.value(key);
}

class TestSettings : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_home;
    QString m_file;

private slots:
    void initTestCase()
    {
        // ctest isolates the home already; this also keeps a hand run off the real one.
        QVERIFY(m_home.isValid());
        qputenv("XDG_CONFIG_HOME", m_home.filePath("config").toLocal8Bit());
        qputenv("HOME", m_home.path().toLocal8Bit());
        QVERIFY(!KoSettings::hasInstance());
        m_file = KoSettings::getInstance()->fileName();
        QVERIFY(m_file.startsWith(m_home.path()));
    }

    void fileIsPrivateFromTheStart()
    {
        QVERIFY(QFile::exists(m_file));
        QCOMPARE(modeOf(m_file), 0600);
        KoSettings::getInstance()->setValue("user/password", "0123abcd");
        QCOMPARE(modeOf(m_file), 0600);
        QCOMPARE(onDisk(m_file, "user/password").toString(), QString("0123abcd"));
    }

    void defaultsAreStoredOnFirstRead()
    {
        KoSettings* settings = KoSettings::getInstance();
        for (const char* key : {"notify/download", "notify/upload", "policy/close"})
            QVERIFY(!onDisk(m_file, key).isValid());

        QVERIFY(settings->getNotifyDownload());
        QCOMPARE(onDisk(m_file, "notify/download").toString(), QString("true"));
        QVERIFY(!onDisk(m_file, "notify/upload").isValid());
    }

    void settersStoreAtOnce()
    {
        KoSettings* settings = KoSettings::getInstance();
        settings->setNotifyDownload(false);
        settings->setNotifyUpload(false);
        settings->setClosePolicy(false);
        QCOMPARE(onDisk(m_file, "notify/download").toString(), QString("false"));
        QCOMPARE(onDisk(m_file, "policy/close").toString(), QString("false"));
        settings->setUarLastTime(1700000000123LL);
        QCOMPARE(onDisk(m_file, "uar/lastTime").toLongLong(), 1700000000123LL);

        // Values survive a new store object.
        delete settings;
        QVERIFY(!KoSettings::hasInstance());
        settings = KoSettings::getInstance();
        QVERIFY(!settings->getNotifyUpload());
        QCOMPARE(settings->getUarLastTime(), 1700000000123LL);
        QCOMPARE(modeOf(m_file), 0600);
    }

    void widenedFileIsNarrowedAgain()
    {
        delete KoSettings::getInstance();
        QVERIFY(QFile::setPermissions(m_file,
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                          | QFileDevice::ReadOther));
        QCOMPARE(modeOf(m_file), 0644);
        KoSettings::getInstance()->setNotifyDownload(true);
        QCOMPARE(modeOf(m_file), 0600);
    }

    void aFolderInPlaceOfTheFileKeepsItsMode()
    {
        // It was made 0600, which no one can enter.
        delete KoSettings::getInstance();
        const QString aside = m_file + ".aside";
        QVERIFY(QFile::rename(m_file, aside));
        QVERIFY(QDir().mkdir(m_file));
        QVERIFY(
            QFile::setPermissions(m_file, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
        KoSettings::getInstance()->setNotifyDownload(false);
        delete KoSettings::getInstance();
        QCOMPARE(modeOf(m_file), 0700);
        QVERIFY(QDir().rmdir(m_file));
        QVERIFY(QFile::rename(aside, m_file));
    }

    void identityIsGeneratedAndSavedAtOnce()
    {
        QVERIFY(!onDisk(m_file, "LOCAL_DEVICE/deviceNick").isValid());
        KoThisMachineInfo* machine = KoThisMachineInfo::getInstance();
        const QString mac = machine->getMacAddress();
        QVERIFY2(QRegularExpression("^[0-9A-F]{2}(:[0-9A-F]{2}){5}$").match(mac).hasMatch(), qPrintable(mac));
        QCOMPARE(machine->getDeviceName(), "Mac_" + mac);
        QVERIFY(
            QRegularExpression(QString::fromUtf8("^我的Mac_[0-9]{8}$")).match(machine->getDeviceNick()).hasMatch());
        QCOMPARE(onDisk(m_file, "LOCAL_DEVICE/deviceNick").toString(), machine->getDeviceNick());
        QCOMPARE(modeOf(m_file), 0600);

        machine->setLastUploadDir(QString::fromUtf8("/tmp/上传"));
        QCOMPARE(onDisk(m_file, "LOCAL_DEVICE/lastUploadDir").toString(), QString::fromUtf8("/tmp/上传"));
    }

    void identitySurvivesRecreation()
    {
        KoThisMachineInfo* machine = KoThisMachineInfo::getInstance();
        const QString name = machine->getDeviceName();
        const QString nick = machine->getDeviceNick();
        delete machine;

        machine = KoThisMachineInfo::getInstance();
        QCOMPARE(machine->getDeviceName(), name);
        QCOMPARE(machine->getDeviceNick(), nick);
        QCOMPARE(machine->getLastUploadDir(), QString::fromUtf8("/tmp/上传"));

        // Also across a new settings object and in the other deletion order.
        delete KoSettings::getInstance();
        machine->setLastDownloadDir("/tmp/after");
        delete machine;
        delete KoSettings::getInstance();
        QVERIFY(!KoSettings::hasInstance());
        machine = KoThisMachineInfo::getInstance();
        QCOMPARE(machine->getDeviceNick(), nick);
        QCOMPARE(machine->getLastDownloadDir(), QString("/tmp/after"));
    }

    void cleanupTestCase()
    {
        delete KoThisMachineInfo::getInstance();
        delete KoSettings::getInstance();
        QVERIFY(!KoSettings::hasInstance());
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
