#include "model/KoAbstractFile.h"

KoAbstractFile::KoAbstractFile(QObject* parent)
    : QObject(parent)
{
}

KoAbstractFile::~KoAbstractFile() = default;

QString KoAbstractFile::getFullName() const
{
    if (m_suffix.isEmpty())
        return m_name;
    return m_name + QLatin1Char('.') + m_suffix;
}

void KoAbstractFile::setFileType(int code)
{
    m_flags = (m_flags & ~kFileTypeMask) | (code & kFileTypeMask);
}

void KoAbstractFile::setEditStatus(int status)
{
    m_flags = (m_flags & ~kEditStatusMask) | (status & kEditStatusMask);
}

void KoAbstractFile::setSecret(bool secret)
{
    if (secret)
        m_flags |= kSecretBit;
    else
        m_flags &= ~kSecretBit;
}
