// File-view benchmark: a folder of N entries (10,000 by default) handed to both views:
// setList, layout and the first paint, then a second paint, as wall-clock milliseconds.
// Run it with "scripts/bench views [entries]".

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QScrollBar>
#include <QTextStream>

#include "model/KoRemoteFile.h"
#include "ui/browser/KoFileListView.h"
#include "ui/browser/KoFileTableView.h"
#include "ui/browser/KoRemoteFileListModel.h"
#include "ui/browser/KoRemoteFileTableModel.h"
#include "ui/browser/KoUiV3FileDetailDelegate.h"
#include "ui/browser/KoUiV3FileIconDelegate.h"
#include "ui/widgets/KoImageCache.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLatin1(argv[1]).toInt() : 10000;
    const int types[] = {100, 200, 300, 400, 500, 501, 502, 503, 504, 600, 601, 700};
    QList<KoRemoteFile*> files;
    for (int i = 0; i < count; ++i)
        files.append(new KoRemoteFile(QStringLiteral("http://127.0.0.1"), QStringLiteral("/bench/文件 %1.dat").arg(i),
                                      types[i % 12], i * 1000LL, 1700000000000LL + i, QString()));

    KoFileListView list;
    KoRemoteFileListModel listModel;
    list.setModel(&listModel);
    list.setItemDelegate(new KoUiV3FileIconDelegate(&list));
    list.setViewMode(QListView::IconMode);
    list.setFlow(QListView::LeftToRight);
    list.setWrapping(true);
    list.setResizeMode(QListView::Adjust);
    list.setFileList(&files);
    list.resize(1000, 700);
    list.show();

    KoFileTableView table;
    KoRemoteFileTableModel tableModel(nullptr, 3);
    table.setModel(&tableModel);
    table.setItemDelegate(new KoUiV3FileDetailDelegate(&table));
    table.verticalHeader()->hide();
    table.setFileList(&files);
    table.resize(1000, 700);
    table.show();
    app.processEvents();

    QTextStream out(stdout);
    auto run = [&](const char* name, QAbstractItemView* view, auto setList) {
        QElapsedTimer timer;
        timer.start();
        setList();
        view->grab(); // layout and paint of what is visible
        const qint64 first = timer.elapsed();
        timer.restart();
        view->grab();
        out << name << ": " << count << " entries, setList + layout + first paint " << first << " ms, repaint "
            << timer.elapsed() << " ms (scroll range " << view->verticalScrollBar()->maximum() << ")\n";
    };
    run("icon view", &list, [&] { listModel.setList(&files); });
    run("table view", &table, [&] { tableModel.setList(&files); });
    out << "type images rendered: " << KoImageCache::renderCount() << "\n";
    qDeleteAll(files);
    return 0;
}
