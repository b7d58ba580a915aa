#pragma once

#include "model/KoBaseFacility.h"
#include "model/KoRemoteFilePath.h"

#include <QHash>
#include <QList>
#include <QModelIndex>
#include <QPixmap>
#include <QPoint>
#include <QString>
#include <QWidget>

#include <memory>

class KoBaseFacility;
class KoFileClipboard;
class KoFileCopyInfo;
class KoProgressWidget;
class KoRemoteCategory;
class KoRemoteCategoryListModel;
class KoRemoteCategoryTableModel;
class KoRemoteFile;
class KoRemoteFileListModel;
class KoRemoteFileOperator;
class KoRemoteFilePathHistoryList;
class KoRemoteFilePathListModel;
class KoRemoteFileTableModel;
class KoSelectAllHelper;
class KoToastWidget;
class KoUiV3CategoryDetailDelegate;
class KoUiV3CategoryIconDelegate;
class KoUiV3FileDetailDelegate;
class KoUiV3FileIconDelegate;
class KoUiV3FilePathDelegate;
class KoUiV3TipsWidget;
class QAbstractItemView;
class QAction;
class QActionGroup;
class QCheckBox;
class QMenu;

namespace Ui {
class KoUiV3FileWidget;
}

// The file browser: one connected phone at a time, re-targeted with setFacility. Every place is
// one of nine category states (category home, album roots, categories, folders), each with a
// category type that every request carries and a permission (0 browse, 1 download and delete,
// 2 everything) that decides the tool bar, menus and keys.
//
// Ownership: the page keeps its own copy of the phone's record and owns fileList and
// categoryList with their records. It is the one owning receiver of the operator's
// getFileListSuccessV2 and getCategoryListSuccess: an accepted result moves into its lists,
// any other (another phone, category or folder) is freed at once.
//
// Results are matched against the place shown when they arrive, never against the request;
// reloads caused by the operator's success signals are the shown phone's only and come at most
// once per event-loop turn. GUI thread only.
//
// Files: construction and widgets here; state tables, tool bar, menus and keys in
// KoUiV3FileWidgetStates.cpp; places, history, listing and sorting in
// KoUiV3FileWidgetNavigation.cpp; the file operations in KoUiV3FileWidgetFileOps.cpp and
// KoUiV3FileWidgetClipboard.cpp.
class KoUiV3FileWidget : public QWidget
{
    Q_OBJECT
public:
    // What a key on a view does (see keyCommand).
    enum KeyCommand { KeyNone, KeyCut, KeyCopy, KeyPaste, KeyReload, KeyRename, KeyDelete };

    explicit KoUiV3FileWidget(QWidget* parent = nullptr);
    ~KoUiV3FileWidget() override;

    // Shows another phone from its home; the page keeps a copy. Null is ignored.
    void setFacility(KoBaseFacility* facility);
    // The page's own copy (null before the first setFacility); not to be kept or deleted.
    KoBaseFacility* getFacility() const { return facility; }

    // The state tables; states outside 0..8 read as type 1, permission 0.
    static int categoryTypeOfState(int state);
    static int permissionOfState(int state);
    // The state a category tile opens, -1 for an unknown category type.
    static int stateOfCategoryType(int categoryType);
    int getCategoryType() const { return categoryTypeOfState(categoryState); }
    int getCategoryPermission() const { return permissionOfState(categoryState); }
    int getCategoryState() const { return categoryState; }
    KoRemoteFilePath getCurrentPath() const { return currentPath; }

    // The context menus with their entries for the current state and selection, not yet run;
    // the caller owns the menu (parent: the page). The file menu is null at permission 0.
    QMenu* buildExplorerMenu();
    QMenu* buildFileMenu();
    // The key's meaning at the current state and route; KeyNone passes the key on to the view.
    KeyCommand keyCommand(int key, Qt::KeyboardModifiers modifiers) const;

public slots:
    void onBtnTableClicked();
    void onBtnListClicked();
    void onBtnRefreshClicked();
    void onBtnUploadClicked();
    void onBtnMkdirClicked();
    void onBtnDownloadClicked();
    void onBtnDeleteClicked();
    void onBtnForwardClicked();
    void onBtnBackwardClicked();
    void onBtnHomeClicked();
    void onFileTableHeaderClicked(int index);
    void onHeaderNameClicked();
    void onHeaderSizeClicked();
    void onHeaderTimeClicked();
    void onChbSelectStateChanged(int state);
    void onCopyActionTriggled();
    void onCutActionTriggled();
    void onPasteActionTriggled();
    void onRenameActionTriggled();
    void refreshFileExplorer();
    void onFileSelectionChanged();
    void onFileItemDoubleClicked(QModelIndex index);
    void onFileItemNameClicked(QModelIndex index);
    void onFileItemRightClicked(QModelIndex index);
    void onFileExplorerRightClicked(QPoint pos);
    void onFileBtnMoreClicked(QModelIndex index, QPoint pos);
    void onFileBtnDeleteClicked(QModelIndex index);
    void onFileBtnDownloadClicked(QModelIndex index);
    void onPathItemClicked(QModelIndex index);
    void onModelRenameFile(KoRemoteFile* file, QString newName);
    void onLocalFileDropped(QStringList pathList);
    void onRemoteFileDropped(QStringList pathList, QString dstDirPath);
    void onRemoteFileDragLeft(QString dstDirPath);
    void onGetFilelistSucceed(int category, QString dirPath, QString deviceId, QList<KoRemoteFile*>* list);
    void onGetCategoryListSucceed(QString deviceId, QList<KoRemoteCategory*>* list);
    void onThumbnailDownloadFinished(QString thumbnailPath, QString deviceId);
    void onTmpfileDownloadFinished(QString localPath);
    void onTmpfileDownloadError(QString localPath);
    void onFileGroupDownloadQuery(int taskId, int fileCount, QString deviceId);
    void onFileCopyStart(int taskId, QString remoteServer, QList<KoFileCopyInfo*>* list);
    void onFileCopyError(int taskId, QString remoteServer);
    void onRenameFileFailed(int code, QString deviceId);
    void onMkDirFailed(int code, QString deviceId);
    void onRemoteOptorTimeout(int type, QString deviceId);
    void onRemoteNoPermission(int type, QString deviceId);
    void onDeviceLocalChanged(QString deviceId, bool isLocal, QString url);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void initData();
    void initUi();
    void initAction();
    void initConnection();

    // --- states, tool bar, menus (KoUiV3FileWidgetStates.cpp) ---
    void setCategoryState(int state);
    void updateToolWidget();
    void updateStateWidget();
    void updateStateLabel();
    void updateSelectCheckBox();
    void makeTilteWidgetShow();
    void makePathWidgetShow();
    void updateTilteWidget();
    void updatePathWidget();
    void updatePathListView();
    void showTilteWidget();
    void hideTilteWidget();
    void showPathWidget();
    void hidePathWidget();
    void showExplorerMenu();
    void showFileMenu();
    void getSortActionChecked();
    void getViewActionChecked();
    bool isSameDevice(const QString& deviceId) const;
    // The phone's key in the in-app clipboard: its URL on the LAN, its device id otherwise.
    QString clipboardKey() const;
    bool clipboardHasEntries() const;

    // --- places, listing, sorting (KoUiV3FileWidgetNavigation.cpp) ---
    void updateExplorerWidget();
    // The five steps that end every move to a place, and the reload.
    void showPlace();
    void updatePathHistory();
    // Back or forward: no history push.
    void moveInHistory(bool backward);
    void pushCurrentToPathList();
    void leftOfPathList(int index);
    KoRemoteFilePath lastOfPathList() const;
    void clearPathList();
    void sortFileList(int flag);
    int getCurrentSortFlag() const;
    void setCurrentSortFlag(int flag);
    void initSortStateMap();
    void applySortIndicator();
    void applySort(int flag);
    void resetFileModels();
    void resetCategoryModels();
    void showEmptyTips();
    void showTimeoutTips();
    // Operator success signals: a reload of the shown phone, at most one per event-loop turn.
    void scheduleReload(const QString& deviceId);
    void runScheduledReload();
    void openFile(KoRemoteFile* file);

    // --- shared helpers ---
    // 0 icon view, 1 table view; clears the selection of both.
    void showViewMode(int mode);
    QAbstractItemView* shownView() const;
    QModelIndexList getFileSelectionList() const;
    // Selected entries that stand for a row of the shown list.
    int selectedCount() const;
    int shownListSize() const;
    void clearFileExploreSelection();
    void showToast(QString text);
    void clearFileList();
    void clearCategoryList();

    // --- file operations (KoUiV3FileWidgetFileOps.cpp, KoUiV3FileWidgetClipboard.cpp) ---
    // What an operation acts on, copied when the user starts it: a panel or box that answers
    // later acts on these copies, and only while the page still shows that phone and place.
    struct OpTarget {
        quint64 generation = 0;
        KoBaseFacility device;
        int state = 0;
        int category = 1;
        QString folder;
        QStringList paths;
        QList<std::shared_ptr<KoRemoteFile>> entries;
    };
    OpTarget captureTarget(bool withSelection = true) const;
    bool stillShows(const OpTarget& target) const;
    void initFileOpsConnection();
    void uploadPaths(const OpTarget& target, const QStringList& localPaths);
    void downloadFiles(const OpTarget& target, const QString& localDir);
    void makeDir(const OpTarget& target, const QString& path);
    void renameFile(const OpTarget& target, const QString& path, const QString& newFullName);
    void deleteFile(const OpTarget& target);
    void moveFiles(const OpTarget& target, int srcCategory, const QStringList& paths, const QString& dstDir);
    void askOverwrite(int taskId, int fileCount, const QString& deviceId);
    void runCopyDialog(int taskId, const QString& remoteServer, QList<KoFileCopyInfo*>* list);
    void openLocalCopy(const QString& localPath, bool photo);
    void onMkDirFinished(const QString& path, const QString& deviceId);
    // Ends the device's new-folder record; when the folder may exist, a name typed for it is sent.
    void endPendingFolder(const QString& deviceId, bool mayExist);
    // Whether a temporary copy's local path is the one the page waits to open.
    bool isPendingOpen(const QString& localPath) const;
    void onFileOpFailed(const QString& deviceId, const QString& text);
    void selectTableRow(const QModelIndex& index);

    // Bumped whenever another phone is shown.
    quint64 pageGeneration = 0;
    // The new folder whose request is out, and a name typed for it before the phone made it.
    struct PendingFolder {
        QString deviceId;
        QString path;
        QString typedName;
        OpTarget target;
    };
    std::unique_ptr<PendingFolder> pendingFolder;
    // This page's temporary-copy request, while it is out; the operator's cache key of the copy.
    struct PendingOpen {
        QString deviceId;
        QString cacheKey;
        bool photo = false;
    };
    std::unique_ptr<PendingOpen> pendingOpen;

    Ui::KoUiV3FileWidget* ui;
    int viewMode = 0;
    KoToastWidget* toastWidget = nullptr;
    KoProgressWidget* progressWidget = nullptr;
    KoUiV3TipsWidget* tipsWidget = nullptr;
    KoRemoteFileOperator* remoteOperator = nullptr;
    KoFileClipboard* clipboard = nullptr;
    KoBaseFacility* facility = nullptr;
    KoRemoteFilePath currentPath;
    QHash<int, int>* sortStateMap = nullptr;
    int categoryState = 0;
    KoRemoteFilePathHistoryList* history = nullptr;
    QList<KoRemoteFilePath>* pathList = nullptr;
    KoRemoteFilePathListModel* pathModel = nullptr;
    KoUiV3FilePathDelegate* pathDelegate = nullptr;
    QList<KoRemoteFile*>* fileList = nullptr;
    KoRemoteFileListModel* fileListModel = nullptr;
    KoRemoteFileTableModel* fileTableModel = nullptr;
    KoUiV3FileIconDelegate* fileIconDelegate = nullptr;
    KoUiV3FileDetailDelegate* fileDetailDelegate = nullptr;
    QList<KoRemoteCategory*>* categoryList = nullptr;
    KoRemoteCategoryListModel* categoryListModel = nullptr;
    KoRemoteCategoryTableModel* categoryTableModel = nullptr;
    KoUiV3CategoryIconDelegate* categoryIconDelegate = nullptr;
    KoUiV3CategoryDetailDelegate* categoryDetailDelegate = nullptr;

    QAction* refreshAction = nullptr;
    QAction* mkdirAction = nullptr;
    QAction* pasteAction = nullptr;
    QAction* renameAction = nullptr;
    QAction* deleteAction = nullptr;
    QAction* downloadAction = nullptr;
    QAction* copyAction = nullptr;
    QAction* cutAction = nullptr;
    QAction* uploadAction = nullptr;
    QActionGroup* sortGroup = nullptr;
    QAction* sortNameAction = nullptr;
    QAction* sortSizeAction = nullptr;
    QAction* sortTimeAction = nullptr;
    QActionGroup* viewGroup = nullptr;
    QAction* listViewAction = nullptr;
    QAction* thumbnailViewAction = nullptr;
    QMenu* moreMenu = nullptr;
    QCheckBox* headerCheckBox = nullptr;
    KoSelectAllHelper* listSelectAll = nullptr;
    KoSelectAllHelper* headerSelectAll = nullptr;
    QPixmap fileListEmptyImage;
    QPixmap timeoutImage;
    QPixmap photoListEmptyImage;

    // Task type (7 listing, 14 index) of the page's own request still unanswered, else 0.
    int pendingRequestType = 0;
    bool reloadScheduled = false;
    // An upload of the shown phone ended since the last batch end.
    bool shownUploadEnded = false;
};
