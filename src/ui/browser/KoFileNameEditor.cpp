#include "ui/browser/KoFileNameEditor.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QRegExpValidator>

#include "ui/browser/KoFileModelCommon.h"

namespace {

// The pattern keeps the forbidden characters out as they are typed; names that would walk or
// hide (dots only) stay unfinished, and nothing past the byte limit can be typed.
class NameValidator : public QRegExpValidator
{
public:
    explicit NameValidator(QObject* parent)
        : QRegExpValidator(QRegExp(QStringLiteral("[^\\/:*?\"<>|]+")), parent)
    {
    }
    State validate(QString& input, int& pos) const override
    {
        const State state = QRegExpValidator::validate(input, pos);
        if (state != Acceptable)
            return state;
        if (input.toUtf8().size() > KoFileModelCommon::kMaxNameBytes)
            return Invalid;
        return KoFileModelCommon::isAcceptableName(input) ? Acceptable : Intermediate;
    }
};

} // namespace

KoFileNameEditor::KoFileNameEditor(QWidget* parent)
    : QWidget(parent)
{
}

void KoFileNameEditor::init(QLineEdit* nameEdit)
{
    m_nameEdit = nameEdit;
    m_nameEdit->setValidator(new NameValidator(this));
    connect(m_nameEdit, &QLineEdit::editingFinished, this, &KoFileNameEditor::onEditFinished);
    installEventFilter(this);
    m_nameEdit->installEventFilter(this);
}

void KoFileNameEditor::setEditorData(const QString& name)
{
    m_fileName = name;
    m_nameEdit->setText(name);
}

bool KoFileNameEditor::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this && event->type() == QEvent::FocusIn) {
        m_nameEdit->setFocus(Qt::OtherFocusReason);
        m_nameEdit->setSelection(0, m_fileName.size()); // the cursor ends after the name
        return true;
    }
    if (watched == m_nameEdit && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        // The view closes the editor without committing; the focus loss that follows must not.
        m_closed = true;
        m_nameEdit->setText(m_fileName);
    }
    return QWidget::eventFilter(watched, event);
}

void KoFileNameEditor::mouseReleaseEvent(QMouseEvent* event)
{
    onEditFinished();
    QWidget::mouseReleaseEvent(event);
}

void KoFileNameEditor::onEditFinished()
{
    // Once finished or cancelled, the focus loss of the closing editor reports nothing more.
    if (m_closed)
        return;
    m_closed = true;
    if (!m_nameEdit->text().isEmpty() && m_nameEdit->hasAcceptableInput())
        m_fileName = m_nameEdit->text();
    emit editFinished();
}
