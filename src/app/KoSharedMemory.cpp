#include "KoSharedMemory.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QThread>
#include <QFile>
#include <QTimer>

#ifdef Q_OS_LINUX
#include <sys/ipc.h>
#include <sys/shm.h>
#endif

const char* const KoSharedMemory::DefaultKey = "Ko_SHARED_MEMORY_NAME";

namespace {
// The byte: 0 idle, 1 a later start asks the holder to come forward.
const char kIdle = 0;
const char kAsked = 1;
const int kAnswerPollMs = 50;
} // namespace

KoSharedMemory::KoSharedMemory(QObject* parent)
    : KoSharedMemory(QString::fromLatin1(DefaultKey), parent)
{
}

KoSharedMemory::KoSharedMemory(const QString& key, QObject* parent)
    : QObject(parent)
    , m_memory(key)
{
}

KoSharedMemory::~KoSharedMemory()
{
    if (m_timer)
        m_timer->stop();
    // Detaching the last attachment removes the segment, so the next start finds none.
    if (m_memory.isAttached())
        m_memory.detach();
}

bool KoSharedMemory::checkExists()
{
    if (m_holder)
        return false;
    // A few rounds: the holder may leave (and remove the segment) between create and attach,
    // and two starts at once can meet inside the set-up of the segment's lock, which fails
    // one of them with a key error that a moment later is gone.
    for (int round = 0; round < 10; ++round) {
        if (m_memory.create(1)) {
            m_memory.lock();
            static_cast<char*>(m_memory.data())[0] = kIdle;
            m_memory.unlock();
            m_holder = true;
            return false;
        }
        if (m_memory.error() == QSharedMemory::KeyError) {
            QThread::msleep(10);
            continue;
        }
        if (m_memory.error() != QSharedMemory::AlreadyExists)
            break;
        if (!m_memory.attach()) {
            if (m_memory.error() == QSharedMemory::KeyError)
                QThread::msleep(10);
            if (m_memory.error() == QSharedMemory::NotFound || m_memory.error() == QSharedMemory::KeyError)
                continue;
            break;
        }
        if (m_memory.size() < 1) {
            m_memory.detach();
            break;
        }
        // Only we are attached: the holder is gone (killed or crashed), so waiting for its
        // answer would only delay this start.
        if (attachedProcesses() == 1) {
            m_memory.lock();
            static_cast<char*>(m_memory.data())[0] = kIdle;
            m_memory.unlock();
            m_holder = true;
            return false;
        }
        return askHolder();
    }
    // Better to run unguarded than to refuse every start.
    qDebug() << "single-instance guard unavailable:" << m_memory.errorString();
    return false;
}

int KoSharedMemory::attachedProcesses() const
{
#ifdef Q_OS_LINUX
    // Qt keys its System V segment by ftok() on the native key's file.
    const key_t key = ::ftok(QFile::encodeName(m_memory.nativeKey()).constData(), 'Q');
    if (key == -1)
        return -1;
    const int id = ::shmget(key, 0, 0);
    struct shmid_ds info;
    if (id == -1 || ::shmctl(id, IPC_STAT, &info) == -1)
        return -1;
    return int(info.shm_nattch);
#else
    return -1;
#endif
}

bool KoSharedMemory::askHolder()
{
    char* byte = static_cast<char*>(m_memory.data());
    m_memory.lock();
    byte[0] = kAsked;
    m_memory.unlock();

    // A live holder answers on its next poll; give it a little over two periods.
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        const bool last = waited.elapsed() >= takeOverWaitMs();
        m_memory.lock();
        const bool answered = byte[0] == kIdle;
        // Taking over clears the byte under the lock, so of several starts racing for a
        // dead holder's segment exactly one wins; the others see it answered and leave.
        if (!answered && last)
            byte[0] = kIdle;
        m_memory.unlock();
        if (answered) {
            m_memory.detach();
            return true;
        }
        if (last)
            break;
        QThread::msleep(kAnswerPollMs);
    }
    m_holder = true;
    return false;
}

void KoSharedMemory::beginCheck()
{
    if (!m_timer) {
        m_timer = new QTimer(this);
        m_timer->setInterval(CheckIntervalMs);
        connect(m_timer, SIGNAL(timeout()), this, SLOT(onCheckTimer()));
    }
    m_timer->start();
}

void KoSharedMemory::onCheckTimer()
{
    if (!m_memory.isAttached())
        return;
    char* byte = static_cast<char*>(m_memory.data());
    m_memory.lock();
    const bool asked = byte[0] != kIdle;
    if (asked)
        byte[0] = kIdle;
    m_memory.unlock();
    if (asked)
        emit anotherClient();
}
