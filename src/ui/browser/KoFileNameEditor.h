#pragma once

#include <QWidget>

class QLineEdit;

// What both in-place rename editors share. The subclass builds its form and hands over the line
// edit. The name may not carry / : * ? " < > |, be dots only, or pass 255 UTF-8 bytes (a
// backslash is fine). On focus-in the whole name is selected. Return, a focus loss or a click
// beside the field finishes the edit (editFinished); Escape cancels it, and the focus loss that
// follows then commits nothing new.
class KoFileNameEditor : public QWidget
{
    Q_OBJECT
public:
    void setEditorData(const QString& name);
    QString getFileName() const { return m_fileName; }

signals:
    void editFinished();

protected:
    explicit KoFileNameEditor(QWidget* parent);
    void init(QLineEdit* nameEdit);
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void onEditFinished();

private:
    QLineEdit* m_nameEdit = nullptr;
    QString m_fileName;
    bool m_closed = false;
};
