#pragma once

#include <QApplication>
#include <QDir>
#include <QtTest>
#include <QTimer>
#include <QWidget>
#include <functional>

// Drives modal boxes and dialogs from tests: the step runs from inside the box's own event loop,
// once a visible top-level widget of type T is there.
namespace KoModal {

template <typename T>
QList<T*> openWidgets()
{
    QList<T*> found;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* t = qobject_cast<T*>(w)) {
            if (t->isVisible())
                found << t;
        }
    }
    return found;
}

// Polls every 10 ms; the timer goes away with the first run of `step`.
template <typename T>
void whenOpen(std::function<void(T*)> step)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, step] {
        const QList<T*> open = openWidgets<T>();
        if (open.isEmpty())
            return;
        timer->stop();
        timer->deleteLater();
        step(open.first());
    });
    timer->start();
}

// A grab of `w` saved as a test artifact, for a person to look at.
inline void saveArtifact(QWidget* w, const QString& name)
{
    QDir().mkpath(KO_BINARY_DIR "/test-artifacts");
    QVERIFY(w->grab().save(QStringLiteral(KO_BINARY_DIR "/test-artifacts/") + name));
}

// The same for whatever modal widget is active (dialogs run with exec()).
inline void whenModal(std::function<void(QWidget*)> step)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, step] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        step(modal);
    });
    timer->start();
}

} // namespace KoModal
