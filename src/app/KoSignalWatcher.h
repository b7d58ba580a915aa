#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the thread that created the watcher,
// so the program can leave in order instead of being cut off. Only a write to a self-pipe runs
// inside the signal handler. One watcher per process; its destructor restores the default
// handlers.
class KoSignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit KoSignalWatcher(QObject* parent = nullptr);
    ~KoSignalWatcher() override;

    // False when the pipe or the handlers could not be set up (the signals then end the
    // program as before).
    bool isActive() const { return m_notifier != nullptr; }

signals:
    // Once per signal received; receivers decide what a repeat means.
    void quitRequested(int signalNumber);

private slots:
    void onReadable();

private:
    QSocketNotifier* m_notifier = nullptr;
};
