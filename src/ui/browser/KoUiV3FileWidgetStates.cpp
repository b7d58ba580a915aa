// The category states as data, and what they decide: tool bar, title and path bar, state label,
// context menus and keys.

#include "KoUiV3FileWidget.h"
#include "ui_KoUiV3FileWidget.h"

#include "app/KoCommonUtil.h"
#include "model/KoBaseFacility.h"
#include "model/KoFileClipboard.h"
#include "ui/browser/KoFileListView.h"
#include "ui/browser/KoFileTableView.h"
#include "ui/browser/KoRemoteCategoryListModel.h"
#include "ui/browser/KoRemoteCategoryTableModel.h"
#include "ui/browser/KoRemoteFileListModel.h"
#include "ui/browser/KoRemoteFilePathHistoryList.h"
#include "ui/browser/KoRemoteFilePathListModel.h"
#include "ui/browser/KoRemoteFileTableModel.h"
#include "ui/browser/KoUiV3CategoryDetailDelegate.h"
#include "ui/browser/KoUiV3CategoryIconDelegate.h"
#include "ui/browser/KoUiV3FileDetailDelegate.h"
#include "ui/browser/KoUiV3FileIconDelegate.h"

#include <QAction>
#include <QCursor>
#include <QMenu>

namespace {

struct StateRow {
    int categoryType;
    int permission;
    bool editKeys;   // cut, copy, paste, rename by key
    bool deleteKeys; // Delete, Ctrl+Backspace
};

// 0 home, 1 album root, 2 phone-album root, 3 my U-disk, 4 SD card, 5 phone storage,
// 6 album folder, 7 phone-album folder, 8 U-disk.
constexpr StateRow kStates[] = {
    {1, 0, false, false}, {2, 0, false, false}, {3, 0, false, false}, {1, 2, true, true},  {11, 1, false, false},
    {9, 2, true, true},   {2, 1, false, true},  {3, 1, false, true},  {12, 2, true, true},
};
constexpr int kStateCount = int(sizeof(kStates) / sizeof(kStates[0]));
constexpr StateRow kUnknownState{1, 0, false, false};

constexpr struct {
    int categoryType;
    int state;
} kOpenedState[] = {{1, 3}, {2, 1}, {3, 2}, {9, 5}, {11, 4}, {12, 8}};

const StateRow& rowOf(int state)
{
    return state >= 0 && state < kStateCount ? kStates[state] : kUnknownState;
}

QString menuStyle()
{
    return QString::fromUtf8(KoCommonUtil::getQss(QStringLiteral(":/ui_v3/qss/KoFileExplorerMenu")).constData());
}

} // namespace

int KoUiV3FileWidget::categoryTypeOfState(int state)
{
    return rowOf(state).categoryType;
}

int KoUiV3FileWidget::permissionOfState(int state)
{
    return rowOf(state).permission;
}

int KoUiV3FileWidget::stateOfCategoryType(int categoryType)
{
    for (const auto& row : kOpenedState) {
        if (row.categoryType == categoryType)
            return row.state;
    }
    return -1;
}

void KoUiV3FileWidget::setCategoryState(int state)
{
    categoryState = state;
    const int permission = getCategoryPermission();
    ui->fileListView->setPermissionState(permission);
    ui->fileTableView->setPermissionState(permission);
    fileTableModel->setPermissionState(permission);
    fileListModel->setCategory(getCategoryType());
    QItemSelectionModel* oldListSelection = ui->fileListView->selectionModel();
    QItemSelectionModel* oldTableSelection = ui->fileTableView->selectionModel();
    if (state == 0) {
        ui->fileTableView->setModel(categoryTableModel);
        ui->fileTableView->setItemDelegate(categoryDetailDelegate);
        ui->fileListView->setModel(categoryListModel);
        ui->fileListView->setItemDelegate(categoryIconDelegate);
    } else {
        ui->fileTableView->setModel(fileTableModel);
        ui->fileTableView->setItemDelegate(fileDetailDelegate);
        ui->fileListView->setModel(fileListModel);
        ui->fileListView->setItemDelegate(fileIconDelegate);
    }
    // setModel makes a new selection model only when the model changes, and leaves the old one to
    // its caller: free it, and connect each new one once.
    const QPair<QAbstractItemView*, QItemSelectionModel*> views[] = {{ui->fileListView, oldListSelection},
                                                                     {ui->fileTableView, oldTableSelection}};
    for (const auto& view : views) {
        QItemSelectionModel* selection = view.first->selectionModel();
        if (view.second != selection)
            delete view.second;
        connect(selection, &QItemSelectionModel::selectionChanged, this, &KoUiV3FileWidget::onFileSelectionChanged,
                Qt::UniqueConnection);
    }
    applySortIndicator();
}

// --- tool bar, title, path bar, state label -------------------------------------------------

void KoUiV3FileWidget::updateToolWidget()
{
    for (QWidget* button : {ui->btnUpload, ui->btnMkdir, ui->btnDownload, ui->btnDelete, ui->btnMore})
        button->hide();
    const int selected = selectedCount();
    const int permission = getCategoryPermission();
    if (permission == 1 && selected >= 1) {
        ui->btnDownload->show();
        ui->btnDelete->show();
    } else if (permission == 2) {
        ui->btnUpload->show();
        ui->btnMkdir->show();
        if (selected >= 1) {
            ui->btnDownload->show();
            ui->btnDelete->show();
            ui->btnMore->show();
        }
    }
    if (!renameAction)
        return;
    renameAction->setEnabled(permission == 2 && selected == 1);
    // A copy is made by the phone itself, which only the LAN route can ask for.
    if (facility)
        copyAction->setEnabled(facility->isLocal());
    pasteAction->setEnabled(permission == 2 && clipboardHasEntries());
}

void KoUiV3FileWidget::updateStateWidget()
{
    updateStateLabel();
    if (categoryState == 0)
        makeTilteWidgetShow();
    else
        makePathWidgetShow();
}

void KoUiV3FileWidget::makeTilteWidgetShow()
{
    updateTilteWidget();
    hidePathWidget();
    showTilteWidget();
}

void KoUiV3FileWidget::makePathWidgetShow()
{
    updatePathWidget();
    hideTilteWidget();
    showPathWidget();
}

void KoUiV3FileWidget::updateTilteWidget()
{
    if (!facility)
        return;
    ui->titleLabel->setText(facility->getNick());
    ui->localLabel->setVisible(facility->isLocal());
}

void KoUiV3FileWidget::updatePathWidget()
{
    updatePathListView();
    ui->btnBackward->setEnabled(history->canBackward());
    ui->btnForward->setEnabled(history->canForward());
}

void KoUiV3FileWidget::updatePathListView()
{
    pathModel->setList(pathList);
    if (pathList->isEmpty())
        return;
    const QModelIndex last = pathModel->index(pathList->size() - 1, 0);
    ui->pathListView->selectionModel()->select(last, QItemSelectionModel::ClearAndSelect);
}

void KoUiV3FileWidget::showTilteWidget()
{
    ui->titleWidget->show();
}

void KoUiV3FileWidget::hideTilteWidget()
{
    ui->titleWidget->hide();
}

void KoUiV3FileWidget::showPathWidget()
{
    ui->pathWidget->show();
}

void KoUiV3FileWidget::hidePathWidget()
{
    ui->pathWidget->hide();
}

void KoUiV3FileWidget::updateStateLabel()
{
    ui->stateLabel->setText(QStringLiteral("共 %1 个项目, 已选中 %2 个项").arg(shownListSize()).arg(selectedCount()));
}

// --- menus -------------------------------------------------------------------------------------

QString KoUiV3FileWidget::clipboardKey() const
{
    if (!facility)
        return QString();
    return facility->isLocal() ? facility->getUrl() : facility->getDeviceId();
}

bool KoUiV3FileWidget::clipboardHasEntries() const
{
    const QString key = clipboardKey();
    return !key.isEmpty() && (!clipboard->isCopyListEmpty(key) || !clipboard->isCutListEmpty(key));
}

void KoUiV3FileWidget::getSortActionChecked()
{
    for (QAction* action : {sortNameAction, sortSizeAction, sortTimeAction})
        action->setChecked(false);
    switch (qAbs(getCurrentSortFlag())) {
    case 1:
        sortNameAction->setChecked(true);
        break;
    case 2:
        sortTimeAction->setChecked(true);
        break;
    case 3:
        sortSizeAction->setChecked(true);
        break;
    default:
        break;
    }
}

void KoUiV3FileWidget::getViewActionChecked()
{
    thumbnailViewAction->setChecked(viewMode == 0);
    listViewAction->setChecked(viewMode == 1);
}

QMenu* KoUiV3FileWidget::buildExplorerMenu()
{
    auto* menu = new QMenu(this);
    menu->setStyleSheet(menuStyle());
    getSortActionChecked();
    getViewActionChecked();
    auto addViewMenu = [this, menu] {
        QMenu* view = menu->addMenu(QStringLiteral("查看"));
        view->addAction(listViewAction);
        view->addAction(thumbnailViewAction);
    };
    const int permission = getCategoryPermission();
    if (permission == 0) {
        menu->addAction(refreshAction);
    } else if (permission == 1) {
        menu->addAction(refreshAction);
        QMenu* sort = menu->addMenu(QStringLiteral("排序方式"));
        sort->addActions({sortNameAction, sortSizeAction, sortTimeAction});
        addViewMenu();
    } else {
        pasteAction->setEnabled(clipboardHasEntries());
        menu->addActions({uploadAction, pasteAction, mkdirAction});
        menu->addSeparator();
        menu->addAction(refreshAction);
        addViewMenu();
        QMenu* sort = menu->addMenu(QStringLiteral("排序方式"));
        sort->addAction(sortNameAction);
        sort->addSeparator();
        sort->addAction(sortSizeAction);
        sort->addSeparator();
        sort->addAction(sortTimeAction);
    }
    return menu;
}

QMenu* KoUiV3FileWidget::buildFileMenu()
{
    const int permission = getCategoryPermission();
    if (permission == 0)
        return nullptr;
    auto* menu = new QMenu(this);
    menu->setStyleSheet(menuStyle());
    menu->addAction(downloadAction);
    if (permission == 1) {
        if (categoryState != 4)
            menu->addAction(deleteAction);
        return menu;
    }
    menu->addSeparator();
    if (facility && facility->isLocal())
        menu->addAction(copyAction);
    menu->addActions({cutAction, renameAction});
    menu->addSeparator();
    menu->addAction(deleteAction);
    return menu;
}

void KoUiV3FileWidget::showExplorerMenu()
{
    QMenu* menu = buildExplorerMenu();
    menu->exec(QCursor::pos());
    menu->deleteLater();
}

void KoUiV3FileWidget::showFileMenu()
{
    QMenu* menu = buildFileMenu();
    if (!menu)
        return;
    menu->exec(QCursor::pos());
    menu->deleteLater();
}

void KoUiV3FileWidget::onFileExplorerRightClicked(QPoint pos)
{
    if (shownView()->indexAt(pos).isValid())
        return;
    clearFileExploreSelection();
    showExplorerMenu();
}

// --- keys --------------------------------------------------------------------------------------

KoUiV3FileWidget::KeyCommand KoUiV3FileWidget::keyCommand(int key, Qt::KeyboardModifiers modifiers) const
{
    const StateRow& row = rowOf(categoryState);
    const bool ctrl = modifiers & Qt::ControlModifier;
    if (ctrl && key == Qt::Key_R)
        return KeyReload;
    if (key == Qt::Key_Delete || (ctrl && key == Qt::Key_Backspace))
        return row.deleteKeys ? KeyDelete : KeyNone;
    if (!row.editKeys)
        return KeyNone;
    if (key == Qt::Key_F2)
        return KeyRename;
    if (!ctrl)
        return KeyNone;
    switch (key) {
    case Qt::Key_X:
        return KeyCut;
    case Qt::Key_C:
        return facility && facility->isLocal() ? KeyCopy : KeyNone;
    case Qt::Key_V:
        return KeyPaste;
    default:
        return KeyNone;
    }
}

void KoUiV3FileWidget::onFileItemNameClicked(QModelIndex index)
{
    if (index.isValid() && rowOf(categoryState).editKeys)
        shownView()->edit(index);
}
