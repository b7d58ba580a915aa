#include "KoUiV3FileCopyProgressDialog.h"
#include "ui_KoUiV3FileCopyProgressDialog.h"

#include "app/KoCommonUtil.h"
#include "app/KoServerConfig.h"
#include "model/KoFileCopyInfo.h"
#include "model/KoRemoteFile.h"
#include "ops/KoRemoteFileOperator.h"
#include "ui/widgets/KoSurfaceDrag.h"

#include <QPainter>
#include <QTimer>

namespace {
constexpr int kLanVersion = 2;

void freeList(QList<KoFileCopyInfo*>* list)
{
    if (!list)
        return;
    qDeleteAll(*list);
    delete list;
}
} // namespace

KoUiV3FileCopyProgressDialog::KoUiV3FileCopyProgressDialog(int taskId, QString remoteServer,
                                                           QList<KoFileCopyInfo*>* list, int version, QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::KoUiV3FileCopyProgressDialog)
    , taskId(taskId)
    , remoteServer(remoteServer)
    , version(version)
{
    initData(list);
    initUi();
    initConnection();
}

KoUiV3FileCopyProgressDialog::~KoUiV3FileCopyProgressDialog()
{
    clearCopyList();
    delete copyList;
    delete ui;
}

int KoUiV3FileCopyProgressDialog::percentOf(qint64 copied, qint64 total)
{
    // Nothing left to copy reads as done, also a copy of empty files.
    return copied < total ? KoFileConvertInfo::percentOf(copied, total) : 100;
}

void KoUiV3FileCopyProgressDialog::initData(QList<KoFileCopyInfo*>* list)
{
    copyList = new QList<KoFileCopyInfo*>;
    setCopyList(list);
    remoteOperator = KoRemoteFileOperator::getInstance();
    timer = new QTimer(this);
    timer->setInterval(kPollIntervalMs);
    timer->start();
}

void KoUiV3FileCopyProgressDialog::initUi()
{
    ui->setupUi(this);
    // The name comes from the phone: never rich text.
    ui->copyNameLabel->setTextFormat(Qt::PlainText);
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowFlags(Qt::FramelessWindowHint);
    ui->btnCancel->setStyleSheet(
        QString::fromUtf8(KoCommonUtil::getQss(QStringLiteral(":/ui_v3/qss/KoCancelButton")).constData()));
    ui->copyProgressBar->setStyleSheet(
        QString::fromUtf8(KoCommonUtil::getQss(QStringLiteral(":/ui_v3/qss/KoProgressBar")).constData()));
    new KoSurfaceDrag(this, [this](const QPoint& pos) { return ui->titleWidget->geometry().contains(pos); });
    refreshDialog();
}

void KoUiV3FileCopyProgressDialog::initConnection()
{
    connect(remoteOperator, &KoRemoteFileOperator::fileCopyProgressV2, this,
            &KoUiV3FileCopyProgressDialog::onCopyProgressCallback);
    connect(timer, &QTimer::timeout, this, &KoUiV3FileCopyProgressDialog::onCheckProgressTimer);
    connect(ui->btnCancel, &QPushButton::clicked, this, &KoUiV3FileCopyProgressDialog::onBtnCancelClicked);
}

void KoUiV3FileCopyProgressDialog::setCopyList(QList<KoFileCopyInfo*>* list)
{
    if (!list)
        return;
    clearCopyList();
    *copyList = *list;
    delete list;
}

void KoUiV3FileCopyProgressDialog::clearCopyList()
{
    qDeleteAll(*copyList);
    copyList->clear();
}

void KoUiV3FileCopyProgressDialog::refreshDialog()
{
    QString name;
    bool named = false;
    int done = 0;
    qint64 copied = 0;
    qint64 total = 0;
    for (KoFileCopyInfo* info : qAsConst(*copyList)) {
        // The phone's counts: a negative one adds nothing, a huge one holds the sum at the limit.
        copied = KoFileConvertInfo::saturatedSum(copied, qMax<qint64>(0, info->getConvertedSize()));
        total = KoFileConvertInfo::saturatedSum(total, qMax<qint64>(0, info->getRemoteFile()->getSize()));
        switch (info->getConvertState()) {
        case KoFileConvertInfo::StateConverting:
            name = info->getRemoteFile()->getFullName();
            named = true;
            break;
        case KoFileConvertInfo::StateWaiting:
            if (!named) {
                name = info->getRemoteFile()->getFullName();
                named = true;
            }
            break;
        case KoFileConvertInfo::StateFailed:
            // A failed file is over: waiting for it would keep the box open for ever.
            failed = true;
            ++done;
            break;
        case KoFileConvertInfo::StateFinished:
            ++done;
            break;
        default:
            break;
        }
    }
    ui->copyNameLabel->setText(QStringLiteral("正在复制: ") + name);
    ui->copyDetailLabel->setText(QStringLiteral("共%1个文件, 已完成%2个").arg(copyList->size()).arg(done));
    ui->copyProgressBar->setValue(percentOf(copied, total));
    // Accepting before exec shows the box would leave exec waiting for another answer.
    if (shown && done >= copyList->size())
        finish(QDialog::Accepted);
}

void KoUiV3FileCopyProgressDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (shown)
        return;
    shown = true;
    QTimer::singleShot(0, this, [this] {
        if (!ended)
            refreshDialog();
    });
}

void KoUiV3FileCopyProgressDialog::onCheckProgressTimer()
{
    if (ended || version != kLanVersion)
        return;
    if (pollClock.isValid()) {
        // A busy phone answers late: a poll is written off only once its request is surely over
        // (the request deadline, found at the next sweep), never while it may still come back.
        if (pollClock.elapsed() < qint64(KoServerConfig::requestDeadlineMs()) + KoServerConfig::sweepIntervalMs())
            return;
        if (++lostPolls >= kLostPollsLimit) {
            failed = true;
            finish(QDialog::Accepted);
            return;
        }
    }
    pollClock.start();
    remoteOperator->askFileCopyProgressV2(taskId, remoteServer);
}

void KoUiV3FileCopyProgressDialog::onCopyProgressCallback(int id, QList<KoFileCopyInfo*>* list)
{
    if (ended || id != taskId) {
        freeList(list);
        return;
    }
    pollClock.invalidate();
    lostPolls = 0;
    setCopyList(list);
    refreshDialog();
}

void KoUiV3FileCopyProgressDialog::onBtnCancelClicked()
{
    cancelCopy();
    finish(QDialog::Rejected);
}

void KoUiV3FileCopyProgressDialog::cancelCopy()
{
    if (version == kLanVersion)
        remoteOperator->cancelFileCopyV2(taskId, remoteServer);
}

void KoUiV3FileCopyProgressDialog::finish(int result)
{
    if (ended)
        return;
    ended = true;
    timer->stop();
    done(result);
}

void KoUiV3FileCopyProgressDialog::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::gray);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRect(0, 0, width() - 2, height() - 2), 4, 4);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(QStringLiteral("#4d90ff")));
    painter.drawRoundedRect(QRect(0, 0, ui->titleWidget->width() - 2, ui->titleWidget->height() - 2), 4, 4);
    painter.end();
    QDialog::paintEvent(event);
}
