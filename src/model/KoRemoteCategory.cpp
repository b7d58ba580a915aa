#include "model/KoRemoteCategory.h"

KoRemoteCategory::KoRemoteCategory(const QString& remoteServer, int categoryType, qint64 availableSize,
                                   qint64 totalSize)
    : m_remoteServer(remoteServer)
    , m_categoryType(categoryType)
    , m_totalSize(totalSize)
{
    setFileType(TypeFolder);
    m_size = availableSize;
    m_name = nameOfCategory(categoryType);
    if (!m_name.isEmpty())
        m_path = KoRemoteFilePath(QStringLiteral("/"), m_name);
}

KoRemoteCategory::~KoRemoteCategory() = default;

QString KoRemoteCategory::nameOfCategory(int categoryType)
{
    switch (categoryType) {
    case 1:
        return QStringLiteral("我的vu");
    case 2:
        return QStringLiteral("相册");
    case 3:
        return QStringLiteral("手机相册");
    case 9:
        return QStringLiteral("手机存储");
    case 11:
        return QStringLiteral("SD卡");
    case 12:
        return QStringLiteral("zu");
    default:
        return QString();
    }
}
