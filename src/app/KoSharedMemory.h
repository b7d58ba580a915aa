#pragma once

#include <QObject>
#include <QSharedMemory>
#include <QString>

class QTimer;

// Single-instance guard: a one-byte shared segment. A later start sets the byte to 1; the
// holder's poll sees it, puts it back to 0 and emits anotherClient. A segment whose holder
// never answers (it crashed or was killed) is taken over, so a dead instance cannot lock
// the program out; one that no process holds any more is taken over at once.
class KoSharedMemory : public QObject
{
    Q_OBJECT
public:
    static const char* const DefaultKey; // "Ko_SHARED_MEMORY_NAME"
    static const int CheckIntervalMs = 1000;

    explicit KoSharedMemory(QObject* parent = nullptr);
    explicit KoSharedMemory(const QString& key, QObject* parent = nullptr);
    ~KoSharedMemory() override;

    // True when a live instance holds the segment; it has been asked to come forward.
    // False when this guard now holds the segment (fresh, or taken over from a dead holder),
    // or when no segment can be had at all (the program then runs unguarded).
    bool checkExists();
    // Starts the poll for requests of later starts; needs a running event loop.
    void beginCheck();

    bool isHolder() const { return m_holder; }
    // How long a later start waits for the holder to answer before taking the segment over.
    static int takeOverWaitMs() { return 2 * CheckIntervalMs + 250; }

signals:
    void anotherClient();

private slots:
    void onCheckTimer();

private:
    bool askHolder();
    // Processes attached to the segment (us included), or -1 when the system cannot tell.
    int attachedProcesses() const;

    QSharedMemory m_memory;
    QTimer* m_timer = nullptr;
    bool m_holder = false;
};
