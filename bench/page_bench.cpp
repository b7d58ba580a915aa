// Transfer-page benchmark: a folder of many small files (10,000 of 1-4 KB by default) downloaded
// and uploaded through the operator against a fake phone in a child process, with no transfer
// page, with the page hidden and with it shown and painting (on the download or upload table);
// then a folder of 1 MiB files (1,000 by default) downloaded. Files per second, and how often the
// shown page was repainted. Not a test; run it with "scripts/bench page [files] [large files]".

#include "app/KoCommonUtil.h"
#include "app/KoSettings.h"
#include "model/KoBaseFacility.h"
#include "model/KoRemoteFile.h"
#include "ops/KoRemoteFileOperator.h"
#include "ui/transfer/KoUiV3TransferWidget.h"

#include "KoBenchServe.h"
#include "KoBenchWait.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

#include <unistd.h>

namespace {

// Counts the window's repaint passes.
class RepaintCounter : public QObject
{
public:
    int passes = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::UpdateRequest)
            ++passes;
        return QObject::eventFilter(watched, event);
    }
};

bool idle(KoRemoteFileOperator* op)
{
    int d = 0;
    int u = 0;
    op->getConvertingCount(d, u);
    return d == 0 && u == 0;
}

void writeFolder(const QString& dir, int count, const std::function<int(int)>& sizeOf)
{
    QByteArray content;
    for (int i = 0; i < count; ++i) {
        const QString sub = dir + QStringLiteral("/d%1").arg(i / 100);
        QDir().mkpath(sub);
        const int size = sizeOf(i);
        if (content.size() != size)
            content = QByteArray(size, char('a' + i % 26));
        QFile f(sub + QStringLiteral("/f%1.bin").arg(i));
        f.open(QIODevice::WriteOnly);
        f.write(content);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (isServeCall(argc, argv))
        return serveCall(argc, argv);
    QApplication app(argc, argv);
    KoSettings::getInstance();
    const int files = argc > 1 ? qMax(1, atoi(argv[1])) : 10000;
    const int large = argc > 2 ? qMax(1, atoi(argv[2])) : 1000;

    QTemporaryDir work;
    const QString root = work.filePath(QStringLiteral("phone"));
    const QString local = work.filePath(QStringLiteral("local"));
    QDir().mkpath(local);
    for (const char* up : {"/0_up", "/1_up", "/2_up"})
        QDir().mkpath(root + QLatin1String(up));
    writeFolder(root + QStringLiteral("/small"), files, [](int i) { return 1024 + (i * 97) % 3073; });

    quietServerConfig();
    QProcess server;
    const quint16 port = startServedPhone(server, root);
    if (port == 0) {
        std::fprintf(stderr, "the fake phone's process did not start\n");
        return 1;
    }
    const QString url = QStringLiteral("http://127.0.0.1:%1").arg(port);
    const QString deviceId = QStringLiteral("bench-phone");
    KoBaseFacility device(*connectBenchPhone(deviceId, QStringLiteral("127.0.0.1"), port, url));
    QFile::remove(KoCommonUtil::getAppDataDir() + QStringLiteral("/fileConvertData.KoInfo"));

    KoRemoteFileOperator* op = KoRemoteFileOperator::getInstance();
    int done = 0;
    QObject::connect(op, &KoRemoteFileOperator::fileDownloadSuccessV2, [&](QString) { ++done; });
    QObject::connect(op, &KoRemoteFileOperator::fileUploadSuccessV2, [&](QString, QString) { ++done; });

    enum Page { NoPage, Hidden, Shown };
    const char* const pageNames[] = {"no page", "page hidden", "page shown"};
    bool allOk = true;
    // One folder transfer; files per second.
    auto run = [&](Page mode, bool upload, const QString& folder, int count, const char* what) {
        std::unique_ptr<KoUiV3TransferWidget> page;
        RepaintCounter repaints;
        if (mode != NoPage) {
            page.reset(new KoUiV3TransferWidget);
            page->resize(960, 552);
            if (mode == Shown) {
                page->show();
                page->findChild<QPushButton*>(upload ? QStringLiteral("btnUpload") : QStringLiteral("btnDownload"))
                    ->click();
                waitFor([] { return false; }, 200);
                page->installEventFilter(&repaints);
            }
        }
        const QString name = QStringLiteral("%1_%2").arg(int(mode)).arg(upload ? "up" : "down");
        // What earlier steps wrote goes to the disk now, not during the run.
        ::sync();
        done = 0;
        QElapsedTimer timer;
        timer.start();
        if (upload) {
            op->getDirUploadStartV2(local + QStringLiteral("/0_down/") + folder, 9, QLatin1Char('/') + name, 77, 2,
                                    deviceId, url);
        } else {
            QList<KoRemoteFile*> selection{new KoRemoteFile(url, QLatin1Char('/') + folder, 100, 0, 0, QString())};
            op->getFileGroupDownloadStartV2(9, selection, local + QLatin1Char('/') + name, &device);
            qDeleteAll(selection);
        }
        const bool ok = waitFor([&] { return done >= count && idle(op); }, 900000);
        const double s = timer.elapsed() / 1000.0;
        allOk = allOk && ok;
        std::printf("%s %s, %s: %d files in %.2f s = %.0f files/s%s", upload ? "upload" : "download", what,
                    pageNames[mode], done, s, done / s, ok ? "" : " (incomplete)");
        if (mode == Shown)
            std::printf(" (%d repaints)", repaints.passes);
        std::printf("\n");
        std::fflush(stdout);
        op->clearConvertedList();
        return done / s;
    };

    // The first download is the upload's source; each mode runs on a folder of its own.
    for (Page mode : {NoPage, Hidden, Shown})
        run(mode, false, QStringLiteral("small"), files, "small files");
    for (Page mode : {NoPage, Hidden, Shown})
        run(mode, true, QStringLiteral("small"), files, "small files");
    writeFolder(root + QStringLiteral("/large"), large, [](int) { return 1024 * 1024; });
    run(NoPage, false, QStringLiteral("large"), large, "1 MiB files");
    run(Hidden, false, QStringLiteral("large"), large, "1 MiB files");

    server.kill();
    server.waitForFinished(5000);
    delete op;
    QFile::remove(KoCommonUtil::getAppDataDir() + QStringLiteral("/fileConvertData.KoInfo"));
    delete KoRemoteConnectManager::getInstance();
    return allOk ? 0 : 1;
}
