// Operation-manager benchmark: many small files through the operator against a fake phone on
// loopback (a folder download and a folder upload), a 10,000-entry listing and sub-listing,
// saving and loading 10,000 transfer records, the exit with 300,000 of them, and a 10,000-file
// group start with the transfer page shown and hidden. Not a test; run it with "scripts/bench ops".
// For the many small files the fake phone runs in a child process ("--serve ROOT"), so that the
// figure is the client's and not the phone's work on the same event loop.

#include "app/KoCommonUtil.h"
#include "app/KoServerConfig.h"
#include "app/KoSettings.h"
#include "link/KoRemoteConnectManager.h"
#include "model/KoBaseFacility.h"
#include "model/KoFileConvertInfo.h"
#include "model/KoRemoteFile.h"
#include "ops/KoRemoteFileOperator.h"
#include "support/KoFakePhone.h"
#include "ui/transfer/KoUiV3TransferWidget.h"

#include "KoBenchServe.h"
#include "KoBenchWait.h"

#include <QApplication>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

qint64 statusKb(const char* key)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

bool idle(KoRemoteFileOperator* op)
{
    int d = 0;
    int u = 0;
    op->getConvertingCount(d, u);
    return d == 0 && u == 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (isServeCall(argc, argv))
        return serveCall(argc, argv);
    QApplication app(argc, argv);
    KoSettings::getInstance();
    const int files = argc > 1 ? qMax(1, atoi(argv[1])) : 1000;
    const int listed = argc > 2 ? qMax(1, atoi(argv[2])) : 10000;
    const int many = argc > 3 ? qMax(1, atoi(argv[3])) : 300000;

    QTemporaryDir work;
    const QString root = work.filePath(QStringLiteral("phone"));
    const QString local = work.filePath(QStringLiteral("local"));
    QDir().mkpath(root);
    QDir().mkpath(local);
    KoFakePhone phone(root);
    phone.setIdentity(QStringLiteral("bench-phone"), QStringLiteral("Bench"), 2, 30, 77);
    if (!phone.start()) {
        std::fprintf(stderr, "the fake phone did not start\n");
        return 1;
    }
    quietServerConfig();
    KoBaseFacility* facility = connectBenchPhone(phone.deviceId(), phone.ip(), phone.port(), phone.baseUrl());
    KoBaseFacility device(*facility);
    QFile::remove(KoCommonUtil::getAppDataDir() + QStringLiteral("/fileConvertData.KoInfo"));

    // --- many small files ------------------------------------------------------------------
    const QByteArray content(4096, 'k');
    for (int i = 0; i < files; ++i) {
        const QString dir = root + QStringLiteral("/bench/d%1").arg(i / 100);
        QDir().mkpath(dir);
        QFile f(dir + QStringLiteral("/f%1.bin").arg(i));
        f.open(QIODevice::WriteOnly);
        f.write(content);
    }
    QProcess server;
    const quint16 servedPort = startServedPhone(server, root);
    if (servedPort == 0) {
        std::fprintf(stderr, "the fake phone's process did not start\n");
        return 1;
    }
    const QString servedUrl = QStringLiteral("http://127.0.0.1:%1").arg(servedPort);
    facility->setPort(servedPort);
    facility->setUrl(servedUrl);
    device.setPort(servedPort);
    device.setUrl(servedUrl);

    KoRemoteFileOperator* op = KoRemoteFileOperator::getInstance();
    int downloadsDone = 0;
    int uploadsDone = 0;
    QObject::connect(op, &KoRemoteFileOperator::fileDownloadSuccessV2, [&](QString) { ++downloadsDone; });
    QObject::connect(op, &KoRemoteFileOperator::fileUploadSuccessV2, [&](QString, QString) { ++uploadsDone; });

    QList<KoRemoteFile*> selection{new KoRemoteFile(servedUrl, QStringLiteral("/bench"), 100, 0, 0, QString())};
    QElapsedTimer timer;
    timer.start();
    op->getFileGroupDownloadStartV2(9, selection, local, &device);
    qDeleteAll(selection);
    const bool downOk = waitFor([&] { return downloadsDone >= files && idle(op); }, 600000);
    const double downS = timer.elapsed() / 1000.0;
    int connectionsSeen = 0;
    auto connections = [&server, &connectionsSeen] {
        const QByteArray told = server.readAll().trimmed();
        if (!told.isEmpty())
            connectionsSeen = told.split('\n').last().toInt();
        return connectionsSeen;
    };
    std::printf("folder download: %d files of 4 KB in %.2f s = %.0f files/s%s (phone: %d connections so far)\n",
                downloadsDone, downS, downloadsDone / downS, downOk ? "" : " (incomplete)", connections());

    QDir().mkpath(root + QStringLiteral("/up"));
    timer.restart();
    op->getDirUploadStartV2(local + QStringLiteral("/bench"), 9, QStringLiteral("/up"), 77, 2, phone.deviceId(),
                            servedUrl);
    const bool upOk = waitFor([&] { return uploadsDone >= files && idle(op); }, 600000);
    const double upS = timer.elapsed() / 1000.0;
    std::printf("folder upload:   %d files of 4 KB in %.2f s = %.0f files/s%s (phone: %d connections so far)\n",
                uploadsDone, upS, uploadsDone / upS, upOk ? "" : " (incomplete)", connections());
    op->clearConvertedList();
    server.kill();
    server.waitForFinished(5000);
    facility->setPort(phone.port());
    facility->setUrl(phone.baseUrl());
    device.setPort(phone.port());
    device.setUrl(phone.baseUrl());

    // --- a 10,000-entry listing and sub-listing ----------------------------------------------
    const QString bigDir = root + QStringLiteral("/big");
    QDir().mkpath(bigDir);
    for (int i = 0; i < listed; ++i) {
        QFile f(bigDir + QStringLiteral("/entry_%1.txt").arg(i, 5, 10, QLatin1Char('0')));
        f.open(QIODevice::WriteOnly);
        f.write("x", 1);
    }
    const qint64 rssBefore = statusKb("VmRSS:");
    int listedCount = -1;
    QObject::connect(op, &KoRemoteFileOperator::getFileListSuccessV2,
                     [&](int, QString, QString, QList<KoRemoteFile*>* list) {
                         listedCount = list->size();
                         qDeleteAll(*list);
                         delete list;
                     });
    timer.restart();
    op->getFileListStartV2(9, QStringLiteral("/big"), phone.baseUrl(), phone.deviceId());
    waitFor([&] { return listedCount >= 0; }, 120000);
    const qint64 listMs = timer.elapsed();
    std::printf("listing of %d entries: %lld ms to getFileListSuccessV2\n", listedCount, listMs);

    int queued = 0;
    QObject::connect(op, &KoRemoteFileOperator::fileDownloadStartV2, [&](QString) { ++queued; });
    selection = {new KoRemoteFile(phone.baseUrl(), QStringLiteral("/big"), 100, 0, 0, QString())};
    // Held back, so that the queue of 10,000 is measured, not the transfers.
    phone.setDelay(QStringLiteral("getFile"), 600000);
    timer.restart();
    op->getFileGroupDownloadStartV2(9, selection, work.filePath(QStringLiteral("big")), &device);
    qDeleteAll(selection);
    waitFor([&] { return queued >= listed; }, 120000);
    const qint64 subMs = timer.elapsed();
    std::printf("sub-listing of %d entries: %lld ms from the start call to the last fileDownloadStartV2\n", queued,
                subMs);
    std::printf("memory: RSS %lld KB before, %lld KB after, peak (VmHWM) %lld KB\n", rssBefore, statusKb("VmRSS:"),
                statusKb("VmHWM:"));

    // --- saving and loading the records -------------------------------------------------------
    timer.restart();
    op->saveConvertList();
    const qint64 saveMs = timer.elapsed();
    const qint64 bytes = QFileInfo(op->getConvertListPath()).size();
    // The queued records stay for the exit: added during the run, newest first.
    timer.restart();
    delete op;
    const qint64 exitMs = timer.elapsed();
    std::printf("saving %d records: %lld ms (%lld bytes); exit with them queued %lld ms\n", listed, saveMs, bytes,
                exitMs);
    QFile::remove(KoCommonUtil::getAppDataDir() + QStringLiteral("/fileConvertData.KoInfo"));

    // Rebuild the file of 10,000 lines from one line, then time the load.
    op = KoRemoteFileOperator::getInstance();
    QList<KoRemoteFile*> one{
        new KoRemoteFile(phone.baseUrl(), QStringLiteral("/big/entry_00000.txt"), 500, 1, 0, QString())};
    phone.setDelay(QStringLiteral("getFile"), 600000);
    op->getFileGroupDownloadStartV2(9, one, work.filePath(QStringLiteral("one")), &device);
    qDeleteAll(one);
    op->saveConvertList();
    QFile single(op->getConvertListPath());
    single.open(QIODevice::ReadOnly);
    const QByteArray line = single.readAll();
    single.close();
    op->clearDownloadList();
    delete op;
    {
        QFile file(KoCommonUtil::getAppDataDir() + QStringLiteral("/fileConvertData.KoInfo"));
        file.open(QIODevice::WriteOnly);
        for (int i = 0; i < listed; ++i)
            file.write(line);
    }
    timer.restart();
    op = KoRemoteFileOperator::getInstance();
    const qint64 loadMs = timer.elapsed();
    std::printf("loading %d records: %lld ms (%d in the downloading list)\n", listed, loadMs,
                op->getDownLoadingList()->size());
    timer.restart();
    delete op;
    std::printf("saving them again at exit: %lld ms\n", timer.elapsed());

    // --- exit with a long transfer list ---------------------------------------------------------
    {
        QFile file(KoCommonUtil::getAppDataDir() + QStringLiteral("/fileConvertData.KoInfo"));
        file.open(QIODevice::WriteOnly);
        for (int i = 0; i < many; ++i)
            file.write(line);
    }
    op = KoRemoteFileOperator::getInstance();
    timer.restart();
    op->saveConvertList();
    const qint64 manySaveMs = timer.elapsed();
    timer.restart();
    delete op;
    std::printf("exit with %d records: %lld ms (saving alone %lld ms)\n", many, timer.elapsed(), manySaveMs);
    QFile::remove(KoCommonUtil::getAppDataDir() + QStringLiteral("/fileConvertData.KoInfo"));

    // --- a 10,000-file group start with the transfer page shown and hidden ---------------------
    op = KoRemoteFileOperator::getInstance();
    for (const bool shown : {true, false}) {
        KoUiV3TransferWidget page;
        page.resize(960, 552);
        if (shown) {
            page.show();
            page.findChild<QPushButton*>(QStringLiteral("btnDownload"))->click();
        }
        QAbstractItemModel* model = page.findChild<QTableView*>(QStringLiteral("downloadTableView"))->model();
        QList<KoRemoteFile*> group;
        for (int i = 0; i < listed; ++i)
            group << new KoRemoteFile(phone.baseUrl(),
                                      QStringLiteral("/big/entry_%1.txt").arg(i, 5, 10, QLatin1Char('0')), 500, 1, 0,
                                      QString());
        int resets = 0;
        QObject::connect(model, &QAbstractItemModel::modelReset, [&] { ++resets; });
        timer.restart();
        op->getFileGroupDownloadStartV2(9, group,
                                        work.filePath(shown ? QStringLiteral("shown") : QStringLiteral("hidden")),
                                        &device);
        const qint64 callMs = timer.elapsed();
        // A hidden page does not follow the list until it is shown.
        waitFor([&] { return (shown ? model->rowCount() : op->getDownLoadingList()->size()) >= listed; }, 120000);
        // One more turn, so that a paint of the shown page is part of the figure.
        QCoreApplication::processEvents();
        std::printf("group start of %d files, page %s: %lld ms in the call, %lld ms until the table shows them "
                    "(%d model resets)\n",
                    listed, shown ? "shown" : "hidden", callMs, timer.elapsed(), resets);
        qDeleteAll(group);
        op->clearDownloadList();
    }
    delete op;
    QFile::remove(KoCommonUtil::getAppDataDir() + QStringLiteral("/fileConvertData.KoInfo"));
    delete KoRemoteConnectManager::getInstance();
    return (downOk && upOk) ? 0 : 1;
}
