// File browser benchmark: a folder of 10,000 entries on a fake phone on loopback, from the
// double click that opens it to the first paint of the listed view (icon and table view), and
// the part of that spent on this side once the listing has arrived. Not a test; run it with
// "scripts/bench browser".

#include "app/KoServerConfig.h"
#include "app/KoSettings.h"
#include "model/KoBaseFacility.h"
#include "ops/KoRemoteFileOperator.h"
#include "support/KoFakePhone.h"
#include "ui/browser/KoUiV3FileWidget.h"

#include "KoBenchWait.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

namespace {

// Notes the first paint of a view's viewport once the view shows `rows` rows.
class FirstPaint : public QObject
{
public:
    FirstPaint(QAbstractItemView* view, int rows)
        : m_view(view)
        , m_rows(rows)
    {
        view->viewport()->installEventFilter(this);
    }
    qint64 at = -1;
    QElapsedTimer* clock = nullptr;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && at < 0 && m_view->model() && m_view->model()->rowCount() == m_rows)
            at = clock->nsecsElapsed();
        return false;
    }

private:
    QAbstractItemView* m_view;
    int m_rows;
};

int rowOf(QAbstractItemView* view, const QString& text)
{
    QAbstractItemModel* model = view->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        for (int role : {int(Qt::DisplayRole), 457, 472}) {
            if (model->index(row, 0).data(role).toString() == text)
                return row;
        }
    }
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int entries = argc > 1 ? atoi(argv[1]) : 10000;
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    KoServerConfig::setLocalUdpPort(0);
    KoServerConfig::setAccountBaseUrl(QStringLiteral("http://127.0.0.1:9/dedizo/"));
    KoServerConfig::setRelayBaseUrl(QStringLiteral("http://127.0.0.1:9/reraze/"));
    KoSettings::getInstance();
    QDir().mkpath(home.path() + "/phone/many");
    for (int i = 0; i < entries; ++i) {
        QFile file(home.path() + QStringLiteral("/phone/many/文件%1.%2").arg(i).arg(i % 3 ? "txt" : "jpg"));
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(i % 1000, 'x')) < 0)
            return 1;
    }
    KoFakePhone phone(home.path() + "/phone");
    if (!phone.start())
        return 1;
    KoBaseFacility device;
    device.setDeviceId(QStringLiteral("bench-phone"));
    device.setUrl(phone.baseUrl());
    device.setLocal(true);
    device.setNick(QStringLiteral("bench"));

    for (const char* mode : {"icon", "table"}) {
        // Connected before the page, so it hears the listing before the page handles it.
        QObject listener;
        QElapsedTimer clock;
        qint64 arrived = -1;
        QObject::connect(KoRemoteFileOperator::getInstance(), &KoRemoteFileOperator::getFileListSuccessV2, &listener,
                         [&] { arrived = clock.nsecsElapsed(); });
        KoUiV3FileWidget page;
        page.resize(960, 560);
        page.show();
        if (QByteArray(mode) == "table")
            page.findChild<QPushButton*>(QStringLiteral("btnTable"))->click();
        auto* view = page.findChild<QAbstractItemView*>(QByteArray(mode) == "table" ? "fileTableView"
                                                                                    : "fileListView");
        page.setFacility(&device);
        if (!waitFor([&] { return rowOf(view, QStringLiteral("手机存储")) >= 0; }, 10000))
            return 2;
        page.onFileItemDoubleClicked(view->model()->index(rowOf(view, QStringLiteral("手机存储")), 0));
        if (!waitFor([&] { return rowOf(view, QStringLiteral("many")) >= 0; }, 10000))
            return 3;
        FirstPaint paint(view, entries);
        paint.clock = &clock;
        clock.start();
        page.onFileItemDoubleClicked(view->model()->index(rowOf(view, QStringLiteral("many")), 0));
        if (!waitFor([&] { return paint.at >= 0; }, 60000))
            return 4;
        std::printf("%-5s view, %d entries: double click to first paint %.1f ms (listing arrived after %.1f ms, "
                    "sort + models + paint %.1f ms)\n",
                    mode, entries, paint.at / 1e6, arrived / 1e6, (paint.at - arrived) / 1e6);
    }
    return 0;
}
