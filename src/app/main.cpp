#include <QApplication>

#include "app/KoSharedMemory.h"
#include "ui/KoNativeWindow.h"
#include "ui/KoUiInit.h"

int main(int argc, char* argv[])
{
    // Before anything else: a second start only brings the running instance forward.
    KoSharedMemory* guard = new KoSharedMemory();
    if (guard->checkExists()) {
        delete guard;
        return 0;
    }

    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication app(argc, argv);
    koInitUiResources();
    guard->beginCheck();

    KoNativeWindow window;
    window.show();
    QObject::connect(guard, SIGNAL(anotherClient()), &window, SLOT(onAnotherClient()));
    app.exec();

    // The guard, then the window (which deletes the services), then the application.
    delete guard;
    return 0;
}
