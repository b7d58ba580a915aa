#include "KoHeadImage.h"

#include "net/KoUser.h"

QPixmap koLoadHeadImage(const QString& fallback)
{
    KoUser* user = KoUser::getInstance();
    QPixmap head;
    if (!user->headImageExists())
        return QPixmap(fallback);
    const QString path = user->getHeadPath();
    if (head.load(path))
        return head;
    QString jpg = path;
    jpg.replace(jpg.size() - 3, 3, QStringLiteral("jpg"));
    if (head.load(jpg))
        return head;
    return QPixmap(fallback);
}
