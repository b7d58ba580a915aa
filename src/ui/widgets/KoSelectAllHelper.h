#pragma once

#include <QObject>

class QCheckBox;

// Keeps a "select all" check box in step with a selection. Only a user's click on the box selects
// or clears everything: setCounts changes the box under a signal blocker, so a page's handler is
// never re-entered by its own update. Parented to the box and dies with it.
class KoSelectAllHelper : public QObject
{
    Q_OBJECT
public:
    explicit KoSelectAllHelper(QCheckBox* box);

    // Checked only when 0 < selected == total.
    void setCounts(int selected, int total);

signals:
    void selectAllClicked(bool checked);

private:
    QCheckBox* m_box;
};
