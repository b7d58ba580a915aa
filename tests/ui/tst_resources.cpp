// Every image and style sheet the program names must be in the resource tree, and every
// sheet must parse: a missing name paints nothing and says nothing at run time.
#include "app/KoCommonUtil.h"
#include "ui/KoUiInit.h"

#include <QtTest>
#include <QtWidgets>

namespace {

QStringList g_warnings;
void collectWarnings(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtWarningMsg || type == QtCriticalMsg)
        g_warnings << message;
}

// A name followed by '"' and '+' is only the start of a name built at run time.
QString referencePattern()
{
    return QStringLiteral(":/(ui_v3/images|ui_v3/qss|images)/([A-Za-z0-9_]+)(?!\"?\\s*\\+)");
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        koInitUiResources();
        koInitUiResources(); // a second call must be harmless
    }

    void everyReferenceInSourcesAndSheetsResolves()
    {
        const QString root = QStringLiteral(KO_SOURCE_DIR);
        QStringList files;
        QDirIterator sources(root + QStringLiteral("/src"),
                             {QStringLiteral("*.cpp"), QStringLiteral("*.h"), QStringLiteral("*.ui")}, QDir::Files,
                             QDirIterator::Subdirectories);
        while (sources.hasNext())
            files << sources.next();
        QDirIterator sheets(root + QStringLiteral("/resources/ui_v3/qss"), QDir::Files);
        while (sheets.hasNext())
            files << sheets.next();
        QVERIFY(files.size() > 13);

        const QRegularExpression reference(referencePattern());
        int checked = 0;
        for (const QString& file : qAsConst(files)) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadOnly));
            auto matches = reference.globalMatch(QString::fromUtf8(f.readAll()));
            while (matches.hasNext()) {
                const auto match = matches.next();
                const QString path = QStringLiteral(":/") + match.captured(1) + QLatin1Char('/') + match.captured(2);
                const QString where = file.mid(root.size() + 1) + QStringLiteral(": ") + path;
                if (match.captured(1) == QLatin1String("ui_v3/qss"))
                    QVERIFY2(!KoCommonUtil::getQss(path).isEmpty(), qPrintable(where));
                else
                    QVERIFY2(!QPixmap(path).isNull(), qPrintable(where));
                ++checked;
            }
        }
        QVERIFY(checked > 0);
    }

    void everySheetParses()
    {
        const QStringList names = QDir(QStringLiteral(":/ui_v3/qss")).entryList(QDir::Files);
        QVERIFY(!names.isEmpty());
        for (const QString& name : names) {
            const QString text = QString::fromUtf8(
                KoCommonUtil::getQss(QStringLiteral(":/ui_v3/qss/") + name).constData());
            QVERIFY2(!text.trimmed().isEmpty(), qPrintable(name));
            // Qt reports a sheet it cannot parse as a warning when it is applied.
            g_warnings.clear();
            QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
            QWidget host;
            auto* layout = new QVBoxLayout(&host);
            layout->addWidget(new QPushButton(QStringLiteral("button"), &host));
            layout->addWidget(new QCheckBox(QStringLiteral("check"), &host));
            layout->addWidget(new QProgressBar(&host));
            layout->addWidget(new QTableView(&host));
            host.setStyleSheet(text);
            host.grab();
            qInstallMessageHandler(previous);
            QVERIFY2(g_warnings.isEmpty(), qPrintable(name + ": " + g_warnings.join(QLatin1Char('\n'))));
        }
    }
};

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
