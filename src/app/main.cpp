#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "app/KoSharedMemory.h"
#include "app/KoSignalWatcher.h"
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
    // The program speaks Chinese only: Qt's own dialogs and context menus do too, from the
    // translation Qt installs beside itself (English when it is missing).
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qtTexts);
    koInitUiResources();
    guard->beginCheck();

    // A logout, a service manager or kill: leave as the tray's quit does. Made before the window
    // and so ended after it: a repeated signal while the window saves and deletes changes nothing.
    KoSignalWatcher signalWatcher;
    KoNativeWindow window;
    window.show();
    QObject::connect(guard, SIGNAL(anotherClient()), &window, SLOT(onAnotherClient()));
    QObject::connect(&signalWatcher, SIGNAL(quitRequested(int)), &window, SLOT(onQuitRequested()));
    app.exec();

    // The guard, then the window (which deletes the services), then the application.
    delete guard;
    return 0;
}
