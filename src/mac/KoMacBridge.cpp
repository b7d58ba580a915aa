#include "KoMacBridge.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHash>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace {
const char* const kPrompt = "选择";

// A platform panel opens where the user last left it; the chooser does the same for each kind
// of panel during the run, and in the home folder before that (never the working directory,
// which is wherever the program was started from).
QHash<int, QString>& lastFolders()
{
    static QHash<int, QString> folders;
    return folders;
}

int panelKind(bool files, bool dirs, bool multi)
{
    return (files ? 1 : 0) | (dirs ? 2 : 0) | (multi ? 4 : 0);
}

QString startFolder(int kind)
{
    const QString last = lastFolders().value(kind);
    return !last.isEmpty() && QFileInfo(last).isDir() ? last : QDir::homePath();
}

// Qt's own file dialog, made to choose files and folders alike when both are allowed: the
// accept button takes the selection as it is instead of opening a selected folder; a
// double click still opens it.
class KoChooserDialog : public QFileDialog
{
public:
    KoChooserDialog(QWidget* parent, bool files, bool dirs, bool multi)
        : QFileDialog(parent)
        , m_files(files)
        , m_dirs(dirs)
    {
        setObjectName(QStringLiteral("KoChooserDialog"));
        setOption(QFileDialog::DontUseNativeDialog, true);
        setWindowTitle(QString::fromUtf8(kPrompt));
        setLabelText(QFileDialog::Accept, QString::fromUtf8(kPrompt));
        setLabelText(QFileDialog::Reject, QString::fromUtf8("取消"));
        setLabelText(QFileDialog::LookIn, QString::fromUtf8("位置:"));
        setLabelText(QFileDialog::FileName, QString::fromUtf8("名称:"));
        setLabelText(QFileDialog::FileType, QString::fromUtf8("类型:"));
        if (dirs && !files) {
            setFileMode(QFileDialog::Directory);
            setOption(QFileDialog::ShowDirsOnly, true);
        } else {
            setFileMode(multi ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
        }
        if (dirs && files) {
            const auto relabel = [this] { QTimer::singleShot(0, this, [this] { keepPrompt(); }); };
            for (QAbstractItemView* view : findChildren<QAbstractItemView*>()) {
                if (view->selectionModel())
                    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this, relabel);
            }
            if (auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                connect(edit, &QLineEdit::textChanged, this, relabel);
            connect(this, &QFileDialog::directoryEntered, this, relabel);
        }
    }

    void accept() override
    {
        if (!(m_files && m_dirs)) {
            QFileDialog::accept();
            return;
        }
        if (selectionChoosable())
            QDialog::accept();
    }

private:
    bool selectionChoosable() const
    {
        const QStringList chosen = selectedFiles();
        if (chosen.isEmpty())
            return false;
        for (const QString& path : chosen) {
            if (!QFileInfo::exists(path))
                return false; // a typed name that is not there
        }
        return true;
    }

    // Qt relabels (and, for a mixed selection, disables) the accept button; ours stays "选择"
    // and takes any selection of existing items.
    void keepPrompt()
    {
        auto* box = findChild<QDialogButtonBox*>();
        QPushButton* button = box ? box->button(QDialogButtonBox::Open) : nullptr;
        if (!button)
            return;
        button->setText(QString::fromUtf8(kPrompt));
        button->setEnabled(selectionChoosable());
    }

    bool m_files;
    bool m_dirs;
};
} // namespace

void __forQtDrag(KoDragWidget* widget, QMouseEvent* event)
{
    Q_UNUSED(widget);
    Q_UNUSED(event);
}

void __chooseFilesOrDirectories(QWidget* parent, bool files, bool dirs, bool multi,
                                std::function<void(QStringList)> done)
{
    if (!files && !dirs) {
        if (done)
            QTimer::singleShot(0, qApp, [done] { done(QStringList()); });
        return;
    }
    const int kind = panelKind(files, dirs, multi);
    auto* dialog = new KoChooserDialog(parent ? parent->window() : nullptr, files, dirs, multi);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    dialog->setDirectory(startFolder(kind));
    // Exactly one answer: the chosen paths, or an empty list on cancel.
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, done, kind](int result) {
        lastFolders().insert(kind, dialog->directory().absolutePath());
        QStringList chosen;
        if (result == QDialog::Accepted)
            chosen = dialog->selectedFiles();
        if (done)
            done(chosen);
    });
    dialog->open();
}

void __forQtMinimized(QWidget* widget)
{
    if (widget && widget->window())
        widget->window()->showMinimized();
}

void __forQtHideApplication()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible())
            w->hide();
    }
}
