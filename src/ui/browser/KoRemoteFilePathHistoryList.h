#pragma once

#include "model/KoRemoteFilePath.h"

#include <QList>
#include <QObject>

// Back and forward history of the file browser. An entry is a category state with a copy of the
// path bar's elements at that place; the last backward entry is always the place shown, the
// forward list holds the places left by going back, the nearest first. Entries are values held
// here; callers hand in and receive copies of their path lists. GUI thread only.
class KoRemoteFilePathHistoryList : public QObject
{
    Q_OBJECT
public:
    explicit KoRemoteFilePathHistoryList(QObject* parent = nullptr);
    ~KoRemoteFilePathHistoryList() override;

    // A forward move: appends (state, copy of paths) and drops the forward list.
    void pushNewPath(int state, const QList<KoRemoteFilePath>* paths);
    bool canBackward() const { return m_backward.size() > 1; }
    bool canForward() const { return !m_forward.isEmpty(); }
    // Moves one place back or forward; false (and nothing changes) when there is none.
    // On success paths holds a copy of the new place's path elements.
    bool getBackwardPath(int& state, QList<KoRemoteFilePath>* paths);
    bool getForwardPath(int& state, QList<KoRemoteFilePath>* paths);
    void clear();

private:
    struct Entry {
        int state = 0;
        QList<KoRemoteFilePath> paths;
    };
    QList<Entry> m_backward;
    QList<Entry> m_forward;
};
