#pragma once

#include "support/KoSmokeSession.h"

#include <QPoint>

// The steps every browser smoke starts with: the program paired with the runnable fake phone,
// the phone shown on the connected-phones page with its categories, and "手机存储" opened.
struct KoSmokeBrowser {
    KoSmokePairing pairing;
    // Top-left of the browser's tool bar, and the first tile of the shown place.
    QPoint toolBar;
    QPoint firstTile;

    // Empty when the phone's categories are shown; else why they cannot be (the caller skips).
    // phoneArgs: the fake phone's options for what it serves.
    QString openHome(KoSmokeSession& session, const QStringList& phoneArgs, const QString& homeShot);
    // The same, then the storage of a phone serving phoneRoot opened.
    QString openStorage(KoSmokeSession& session, const QString& phoneRoot, const QString& homeShot);
    // Waits until the phone's log holds line n times.
    bool waitFor(const QByteArray& line, int n, int timeoutMs = 20000);
    // Top-left corner of the browser's tool bar right of the phone list, or a null point.
    static QPoint findToolBar(const QImage& screen, const QRect& window);
    // Centres of the tool bar's buttons from the left ("上传文件", "新建文件夹", "下载文件", ...).
    static QList<QPoint> toolButtons(const QImage& screen, const QPoint& toolBar);
};
