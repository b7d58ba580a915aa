#include "KoHeadImage.h"

#include "net/KoUser.h"

#include <QPointer>

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

void koFollowLoginHead(QObject* receiver, int code, std::function<void()> updateHead)
{
    updateHead();
    if (code != 0)
        return;
    QPointer<QObject> alive(receiver);
    KoUser::getInstance()->checkHead([alive, updateHead](int result) {
        if (alive && result == KoUser::kHeadUpdated)
            updateHead();
    });
}
