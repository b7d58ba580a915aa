// Device records, the owning device list, the device list model and the in-app clipboard.
#include <QtTest>

#include "model/KoBaseFacility.h"
#include "model/KoBaseFacilityList.h"
#include "model/KoFacilityListModel.h"
#include "model/KoFileClipboard.h"
#include "model/KoRemoteFile.h"

namespace {

KoBaseFacility* phone(const QString& id, int state = 1)
{
    return new KoBaseFacility(1001, state, 2, QStringLiteral("192.168.1.20"), id, QStringLiteral("Mi 10"), 85, true,
                              QStringLiteral("/tmp/head.png"), QStringLiteral("小明"), 8080);
}

KoRemoteFile* entry(const char* path)
{
    return new KoRemoteFile(QString(), QString::fromUtf8(path), 0, 0, 0, QString());
}

} // namespace

class TestDevices : public QObject
{
    Q_OBJECT
private slots:
    void cleanupTestCase()
    {
        if (KoFileClipboard::hasInstance())
            delete KoFileClipboard::getInstance();
    }
    void facilityCopies()
    {
        QScopedPointer<KoBaseFacility> original(phone(QStringLiteral("dev-1"), 2));
        original->setNetworkType(0);
        original->setNetworkPolicy(1);
        original->setUrl(QStringLiteral("http://custom:1"));
        KoBaseFacility* copy = new KoBaseFacility(original.data());
        QCOMPARE(copy->getUrl(), QStringLiteral("http://custom:1"));
        QVERIFY(*copy == *original);
        copy->setNick(QStringLiteral("other"));
        QCOMPARE(original->getNick(), QStringLiteral("小明"));
        delete copy; // the original is untouched
        QCOMPARE(original->getDeviceId(), QStringLiteral("dev-1"));

        KoBaseFacility value = *original;
        QCOMPARE(value.getUrl(), QStringLiteral("http://custom:1"));
        KoBaseFacility fromNull(static_cast<const KoBaseFacility*>(nullptr));
        QCOMPARE(fromNull.getNetworkType(), 1);
    }
    void listRefusesNullAndDuplicates()
    {
        KoBaseFacilityList list;
        QVERIFY(!list.append(nullptr));
        KoBaseFacility* a = phone(QStringLiteral("A"));
        QVERIFY(list.append(a));
        QVERIFY(!list.append(a)); // the same record twice
        KoBaseFacility* sameId = phone(QStringLiteral("A"), 3);
        QVERIFY(!list.prepend(sameId));
        QVERIFY(!list.insert(0, sameId));
        delete sameId; // refused records stay the caller's
        KoBaseFacility* b = phone(QStringLiteral("B"));
        QVERIFY(list.prepend(b));
        QVERIFY(list.insert(99, phone(QStringLiteral("C"))));
        QCOMPARE(list.at(1), a);
        QCOMPARE(list.indexOf(QStringLiteral("C")), 2);
        QVERIFY(!list.find(QStringLiteral("a"))); // ids compare exactly
    }
    void listTakeAndRemove()
    {
        KoBaseFacilityList list;
        list.append(phone(QStringLiteral("A")));
        list.append(phone(QStringLiteral("B")));
        QList<KoBaseFacility*>* exposed = list.getList();
        KoBaseFacility* taken = list.take(QStringLiteral("A"));
        QVERIFY(taken);
        QCOMPARE(exposed->size(), 1);
        delete taken; // the receiver owns it now
        QVERIFY(!list.take(QStringLiteral("A")));
        QVERIFY(list.remove(QStringLiteral("B")));
        QVERIFY(!list.remove(QStringLiteral("B")));
        QVERIFY(list.isEmpty());
        QVERIFY(!list.takeAt(-1));
        // The same list object stays in use across refills.
        list.append(phone(QStringLiteral("C")));
        QCOMPARE(list.getList(), exposed);
        QCOMPARE(exposed->size(), 1);
    }
    void listDeletesOnClearAndDestruction()
    {
        // Leak detection checks that every record added here is freed exactly once.
        auto* list = new KoBaseFacilityList;
        for (int i = 0; i < 5; ++i)
            QVERIFY(list->append(phone(QString::number(i))));
        list->clear();
        QCOMPARE(list->size(), 0);
        for (int i = 0; i < 3; ++i)
            QVERIFY(list->append(phone(QString::number(i))));
        delete list;
    }
    void modelRolesAndReset()
    {
        KoFacilityListModel model;
        QCOMPARE(model.rowCount(), 0);
        QVERIFY(!model.data(model.index(0, 0), KoFacilityListModel::NickRole).isValid());

        KoBaseFacilityList devices;
        KoBaseFacility* f = phone(QStringLiteral("A"), 2);
        f->setDeviceType(4);
        devices.append(f);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        model.setList(devices.getList());
        QCOMPARE(reset.count(), 1);
        QCOMPARE(model.rowCount(), 1);

        const QModelIndex index = model.index(0, 0);
        QCOMPARE(model.data(index, KoFacilityListModel::NickRole).toString(), QStringLiteral("小明"));
        QCOMPARE(model.data(index, KoFacilityListModel::DeviceTypeRole).toInt(), 4);
        QVERIFY(!model.data(model.index(1, 0), 358).isValid());

        // The list changes in place; the owner tells the model again.
        devices.append(phone(QStringLiteral("B")));
        model.setList(devices.getList());
        QCOMPARE(reset.count(), 2);
        QCOMPARE(model.rowCount(), 2);
        devices.clear();
        model.setList(devices.getList());
        QCOMPARE(model.rowCount(), 0);
        model.setList(nullptr);
        QCOMPARE(model.rowCount(), 0);
    }
    void clipboardKeys()
    {
        KoFileClipboard* clipboard = KoFileClipboard::getInstance();
        const QString lan = QStringLiteral("http://192.168.1.20:8080");
        const QString relay = QStringLiteral("dev-1");
        QVERIFY(clipboard->isCopyListEmpty(lan));
        QVERIFY(clipboard->isCutListEmpty(QString()));

        QScopedPointer<KoRemoteFile> a(entry("/sdcard/a.txt"));
        QScopedPointer<KoRemoteFile> b(entry("/sdcard/DCIM/"));
        clipboard->addFileToCopyList(a.data(), 9, lan);
        clipboard->addFileToCopyList(b.data(), 9, lan);
        clipboard->addFileToCopyList(a.data(), 9, lan); // no duplicates
        QVERIFY(!clipboard->isCopyListEmpty(lan));
        QVERIFY(clipboard->isCopyListEmpty(relay)); // the phone on another route is another key
        QVERIFY(clipboard->isCutListEmpty(lan));
        QCOMPARE(clipboard->getCopyFilePathList(lan), (QStringList{"/sdcard/a.txt", "/sdcard/DCIM"}));
        QCOMPARE(clipboard->getCopyFilePathList(lan).size(), 2); // reading keeps the copy list
        QCOMPARE(clipboard->getCopyFilePathList(relay), QStringList());
        QCOMPARE(clipboard->getSrcCategory(), 9);
        clipboard->addFileToCopyList(nullptr, 3, relay); // ignored
        QCOMPARE(clipboard->getSrcCategory(), 9);

        clipboard->clearCopyList();
        QVERIFY(clipboard->isCopyListEmpty(lan));
        QCOMPARE(clipboard->getKey(), lan); // key and category stay
        QCOMPARE(clipboard->getSrcCategory(), 9);
    }
    void clipboardCutListIsReadOnce()
    {
        KoFileClipboard* clipboard = KoFileClipboard::getInstance();
        clipboard->clearCopyList();
        clipboard->clearCutList();
        QScopedPointer<KoRemoteFile> a(entry("/sdcard/a"));
        const QString key = QStringLiteral("dev-1");
        clipboard->addFileToCutList(a.data(), 12, key);
        QVERIFY(!clipboard->isCutListEmpty(key));
        QCOMPARE(clipboard->getCutFilePathList(QStringLiteral("other")), QStringList());
        QVERIFY(!clipboard->isCutListEmpty(key)); // a wrong key does not empty it
        QCOMPARE(clipboard->getCutFilePathList(key), QStringList{"/sdcard/a"});
        QVERIFY(clipboard->isCutListEmpty(key));
        QCOMPARE(clipboard->getCutFilePathList(key), QStringList());
        QCOMPARE(clipboard->getSrcCategory(), 12);
    }
};

QTEST_GUILESS_MAIN(TestDevices)
#include "tst_devices.moc"
