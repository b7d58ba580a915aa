#include "KoSelectAllHelper.h"

#include <QCheckBox>
#include <QSignalBlocker>

KoSelectAllHelper::KoSelectAllHelper(QCheckBox* box)
    : QObject(box)
    , m_box(box)
{
    // clicked() comes from the user only; toggled() would also fire for setCounts.
    connect(box, &QCheckBox::clicked, this, &KoSelectAllHelper::selectAllClicked);
}

void KoSelectAllHelper::setCounts(int selected, int total)
{
    const QSignalBlocker blocker(m_box);
    m_box->setChecked(selected > 0 && selected == total);
}
