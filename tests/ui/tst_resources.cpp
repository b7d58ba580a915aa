// Every image and style sheet the program names must be in the resource tree,
// load, and have the size the painting code expects.
#include "app/KoCommonUtil.h"
#include "ui/KoUiInit.h"

#include <QtTest>
#include <QtWidgets>

namespace {

struct ImageEntry
{
    const char* name;
    int width;
    int height;
};

// Names under :/ui_v3/images/ with their natural sizes.
const ImageEntry kImages[] = {
    {"bg_usr_info_widget", 232, 183},
    {"bg_usr_info_widget_mac", 232, 183},
    {"default_avator", 68, 68},
    {"default_avator_small", 40, 40},
    {"icon_btn_backward", 8, 13},
    {"icon_btn_clear_blue", 16, 16},
    {"icon_btn_clear_gray", 16, 16},
    {"icon_btn_close_tips", 16, 16},
    {"icon_btn_close_window", 16, 16},
    {"icon_btn_delete_blue", 16, 16},
    {"icon_btn_delete_gray", 16, 16},
    {"icon_btn_disconnect", 14, 14},
    {"icon_btn_disconnect_blue", 14, 14},
    {"icon_btn_download_blue", 16, 16},
    {"icon_btn_download_gray", 16, 16},
    {"icon_btn_finished_blue", 16, 16},
    {"icon_btn_forward", 9, 15},
    {"icon_btn_list", 16, 16},
    {"icon_btn_max_window", 16, 16},
    {"icon_btn_min_window", 16, 16},
    {"icon_btn_mkdir", 16, 16},
    {"icon_btn_more_blue", 16, 16},
    {"icon_btn_more_gray", 16, 16},
    {"icon_btn_open_dir_gray", 16, 16},
    {"icon_btn_open_file_gray", 16, 16},
    {"icon_btn_pause_blue", 16, 16},
    {"icon_btn_pause_gray", 16, 16},
    {"icon_btn_refresh_blue", 16, 16},
    {"icon_btn_refresh_gray", 16, 16},
    {"icon_btn_refresh_red", 16, 16},
    {"icon_btn_restore_window", 16, 16},
    {"icon_btn_setting", 16, 16},
    {"icon_btn_start_blue", 16, 16},
    {"icon_btn_start_gray", 16, 16},
    {"icon_btn_table", 16, 16},
    {"icon_btn_upload_blue", 16, 16},
    {"icon_category_photo", 80, 80},
    {"icon_category_photo_small", 20, 20},
    {"icon_category_sdcard", 80, 80},
    {"icon_category_sdcard_small", 20, 20},
    {"icon_category_storage", 80, 80},
    {"icon_category_storage_small", 20, 20},
    {"icon_category_udisk", 80, 80},
    {"icon_category_udisk_small", 20, 20},
    {"icon_chb_checked", 14, 14},
    {"icon_chb_unchecked", 14, 14},
    {"icon_facility_local", 16, 16},
    {"icon_file_apk", 80, 80},
    {"icon_file_apk_small", 20, 20},
    {"icon_file_dir", 80, 80},
    {"icon_file_dir_empty", 80, 80},
    {"icon_file_dir_empty_small", 20, 20},
    {"icon_file_dir_small", 20, 20},
    {"icon_file_doc", 80, 80},
    {"icon_file_doc_small", 20, 20},
    {"icon_file_excel", 80, 80},
    {"icon_file_excel_small", 20, 20},
    {"icon_file_img", 80, 80},
    {"icon_file_img_small", 20, 20},
    {"icon_file_music", 80, 80},
    {"icon_file_music_small", 20, 20},
    {"icon_file_other", 80, 80},
    {"icon_file_other_small", 20, 20},
    {"icon_file_pdf", 80, 80},
    {"icon_file_pdf_small", 20, 20},
    {"icon_file_ppt", 80, 80},
    {"icon_file_ppt_small", 20, 20},
    {"icon_file_video", 80, 80},
    {"icon_file_video_small", 20, 20},
    {"icon_file_word", 80, 80},
    {"icon_file_word_small", 20, 20},
    {"icon_file_zip", 80, 80},
    {"icon_file_zip_small", 20, 20},
    {"icon_head_android_disable", 40, 40},
    {"icon_head_android_enable", 40, 40},
    {"icon_head_ipad_disable", 40, 40},
    {"icon_head_ipad_enable", 40, 40},
    {"icon_head_iphone_disable", 40, 40},
    {"icon_head_iphone_enable", 40, 40},
    {"icon_logo_blue", 130, 130},
    {"icon_logo_white", 130, 130},
    {"icon_mac", 64, 64},
    {"icon_mac_btn_close_window", 12, 12},
    {"icon_mac_btn_close_window_hover", 12, 12},
    {"icon_mac_btn_max_window", 12, 12},
    {"icon_mac_btn_max_window_hover", 12, 12},
    {"icon_mac_btn_min_window", 12, 12},
    {"icon_mac_btn_min_window_hover", 12, 12},
    {"icon_mac_btn_restore_window_hover", 12, 12},
    {"icon_path_home", 16, 16},
    {"icon_path_next", 7, 11},
    {"icon_pic_udisk_qrcode", 140, 140},
    {"icon_radio_checked", 14, 14},
    {"icon_radio_unchecked", 14, 14},
    {"icon_right_arrow_small", 7, 12},
    {"icon_small_down_arrow", 12, 12},
    {"icon_win", 64, 64},
    {"img_device_list_empty", 200, 200},
    {"img_file_list_empty", 160, 120},
    {"img_photo_list_empty", 160, 120},
    {"img_time_out", 160, 120},
    {"img_transfer_list_empty", 160, 120},
    {"img_udisk_default", 200, 200},
};

// Names the older delegates draw under :/images/, with the :/ui_v3/images/ picture they show.
const char* const kLegacyImages[][2] = {
    {"icon_android_enable_middle", "icon_head_android_enable"},
    {"icon_android_disable_middle", "icon_head_android_disable"},
    {"icon_iphone_enable_middle", "icon_head_iphone_enable"},
    {"icon_iphone_disable_middle", "icon_head_iphone_disable"},
    {"icon_ipad_enable_middle", "icon_head_ipad_enable"},
    {"icon_ipad_disable_middle", "icon_head_ipad_disable"},
    {"default_avator_other_middle", "default_avator"},
    {"icon_btn_delete", "icon_btn_delete_gray"},
    {"icon_file_root", "icon_path_home"},
    {"icon_file_arrow", "icon_path_next"},
    {"icon_file_directory", "icon_file_dir"},
    {"icon_file_zip", "icon_file_zip"},
    {"icon_file_apk", "icon_file_apk"},
    {"icon_file_img", "icon_file_img"},
    {"icon_file_word", "icon_file_word"},
    {"icon_file_music", "icon_file_music"},
    {"icon_file_ppt", "icon_file_ppt"},
    {"icon_file_video", "icon_file_video"},
    {"icon_file_excel", "icon_file_excel"},
    {"icon_file_pdf", "icon_file_pdf"},
    {"icon_file_doc", "icon_file_doc"},
    {"icon_file_other", "icon_file_other"},
    {"icon_category_reraze", "icon_category_udisk"},
    {"icon_category_photo", "icon_category_photo"},
    {"icon_category_storage", "icon_category_storage"},
    {"icon_category_sdcard", "icon_category_sdcard"},
    {"icon_file_download_retry", "icon_btn_refresh_red"},
    {"icon_file_open_file", "icon_btn_open_file_gray"},
    {"icon_file_open_dir", "icon_btn_open_dir_gray"},
};

const char* const kSheets[] = {
    "KoTitleBarButton", "KoFileExplorerMenu", "KoConfirmButton", "KoCancelButton", "KoToolBarButton",
    "KoFileStatusButton", "KoMenuButton", "KoSettingMenuButton", "KoCheckBox", "KoRadioButton",
    "KoProgressBar", "KoFileList", "KoTransferList",
};

// File-type and category names the code builds by role (large and "_small" forms).
const char* const kPairedNames[] = {
    "icon_file_dir", "icon_file_dir_empty", "icon_file_img", "icon_file_video", "icon_file_music",
    "icon_file_word", "icon_file_ppt", "icon_file_excel", "icon_file_pdf", "icon_file_doc",
    "icon_file_zip", "icon_file_apk", "icon_file_other", "icon_category_udisk", "icon_category_photo",
    "icon_category_storage", "icon_category_sdcard",
};

bool hasVisiblePixel(const QImage& image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(argb.pixel(x, y)) > 0)
                return true;
    return false;
}

int countNear(const QImage& image, const QColor& colour, int tolerance = 24)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    int count = 0;
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb p = argb.pixel(x, y);
            if (qAlpha(p) > 200 && qAbs(qRed(p) - colour.red()) <= tolerance
                && qAbs(qGreen(p) - colour.green()) <= tolerance && qAbs(qBlue(p) - colour.blue()) <= tolerance)
                ++count;
        }
    }
    return count;
}

QString sheetText(const QString& name)
{
    return QString::fromUtf8(KoCommonUtil::getQss(QStringLiteral(":/ui_v3/qss/") + name).constData());
}

QStringList g_warnings;
void collectWarnings(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtWarningMsg || type == QtCriticalMsg)
        g_warnings << message;
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void imagesLoadAtTheirSizes();
    void imageTreeHoldsExactlyTheListedNames();
    void pairedNamesHaveBothForms();
    void legacyNamesLoad();
    void everySheetIsPresentAndParses();
    void missingSheetGivesEmptyText();
    void everyReferenceInSourcesAndSheetsResolves();
    void checkBoxSheetDrawsItsIndicators();
    void buttonSheetsColourTheButtons();
};

void TestResources::initTestCase()
{
    koInitUiResources();
    koInitUiResources(); // a second call must be harmless
}

void TestResources::imagesLoadAtTheirSizes()
{
    for (const ImageEntry& entry : kImages) {
        const QString path = QStringLiteral(":/ui_v3/images/") + QLatin1String(entry.name);
        const QPixmap pixmap(path);
        QVERIFY2(!pixmap.isNull(), qPrintable(path));
        QCOMPARE(pixmap.size(), QSize(entry.width, entry.height));
        QVERIFY2(hasVisiblePixel(pixmap.toImage()), qPrintable(path + " is blank"));
        // Icons are also built through QIcon; that route must find the picture too.
        QVERIFY2(!QIcon(path).pixmap(16, 16).isNull(), qPrintable(path));
    }
}

void TestResources::imageTreeHoldsExactlyTheListedNames()
{
    QStringList expected;
    for (const ImageEntry& entry : kImages)
        expected << QLatin1String(entry.name);
    expected.sort();
    QStringList actual = QDir(QStringLiteral(":/ui_v3/images")).entryList(QDir::Files);
    actual.sort();
    QCOMPARE(actual, expected);

    QStringList sheets;
    for (const char* name : kSheets)
        sheets << QLatin1String(name);
    sheets.sort();
    QStringList actualSheets = QDir(QStringLiteral(":/ui_v3/qss")).entryList(QDir::Files);
    actualSheets.sort();
    QCOMPARE(actualSheets, sheets);
}

void TestResources::pairedNamesHaveBothForms()
{
    for (const char* name : kPairedNames) {
        const QString large = QStringLiteral(":/ui_v3/images/") + QLatin1String(name);
        const QPixmap big(large);
        const QPixmap small(large + QStringLiteral("_small"));
        QVERIFY2(!big.isNull() && !small.isNull(), name);
        QVERIFY2(small.width() < big.width(), name);
    }
}

void TestResources::legacyNamesLoad()
{
    for (const auto& entry : kLegacyImages) {
        const QString path = QStringLiteral(":/images/") + QLatin1String(entry[0]);
        const QPixmap legacy(path);
        QVERIFY2(!legacy.isNull(), qPrintable(path));
        const QPixmap current(QStringLiteral(":/ui_v3/images/") + QLatin1String(entry[1]));
        QCOMPARE(legacy.toImage(), current.toImage());
    }
}

void TestResources::everySheetIsPresentAndParses()
{
    for (const char* name : kSheets) {
        const QString text = sheetText(QLatin1String(name));
        QVERIFY2(!text.trimmed().isEmpty(), name);
        QVERIFY2(text.count(QLatin1Char('{')) == text.count(QLatin1Char('}')), name);

        // Qt reports a sheet it cannot parse as a warning when it is applied.
        g_warnings.clear();
        QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
        QWidget host;
        host.resize(200, 200);
        auto* layout = new QVBoxLayout(&host);
        layout->addWidget(new QPushButton(QStringLiteral("button"), &host));
        layout->addWidget(new QCheckBox(QStringLiteral("check"), &host));
        layout->addWidget(new QRadioButton(QStringLiteral("radio"), &host));
        layout->addWidget(new QProgressBar(&host));
        layout->addWidget(new QTableView(&host));
        layout->addWidget(new QListView(&host));
        host.setStyleSheet(text);
        host.grab();
        QMenu menu;
        menu.addAction(QStringLiteral("item"));
        menu.setStyleSheet(text);
        menu.grab();
        qInstallMessageHandler(previous);
        QVERIFY2(g_warnings.isEmpty(), qPrintable(QLatin1String(name) + ": " + g_warnings.join(QLatin1Char('\n'))));
    }
}

void TestResources::missingSheetGivesEmptyText()
{
    QVERIFY(KoCommonUtil::getQss(QStringLiteral(":/ui_v3/qss/KoNoSuchSheet")).isEmpty());
    QVERIFY(KoCommonUtil::getQss(QStringLiteral(":/ui_v3/qss/")).isEmpty());
    // A widget given that text keeps the default look without complaint.
    QPushButton button;
    button.setStyleSheet(sheetText(QStringLiteral("KoNoSuchSheet")));
    QVERIFY(button.styleSheet().isEmpty());
}

void TestResources::everyReferenceInSourcesAndSheetsResolves()
{
    const QString root = QStringLiteral(KO_SOURCE_DIR);
    QStringList files;
    QDirIterator sources(root + QStringLiteral("/src"), {QStringLiteral("*.cpp"), QStringLiteral("*.h"), QStringLiteral("*.ui")},
                         QDir::Files, QDirIterator::Subdirectories);
    while (sources.hasNext())
        files << sources.next();
    QDirIterator sheets(root + QStringLiteral("/resources/ui_v3/qss"), QDir::Files);
    while (sheets.hasNext())
        files << sheets.next();
    QVERIFY(files.size() > 13);

    // A name followed by '"' and '+' is only the start of a name built at run time.
    const QRegularExpression reference(
        QStringLiteral(R"(:/(ui_v3/images|ui_v3/qss|images)/([A-Za-z0-9_]+)(?!"?\s*\+))"));
    int checked = 0;
    for (const QString& file : files) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        auto matches = reference.globalMatch(text);
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

void TestResources::checkBoxSheetDrawsItsIndicators()
{
    QCheckBox box(QStringLiteral("全选"));
    box.setStyleSheet(sheetText(QStringLiteral("KoCheckBox")));
    box.resize(80, 24);
    box.setChecked(false);
    const QImage unchecked = box.grab().toImage();
    box.setChecked(true);
    const QImage checked = box.grab().toImage();
    const QColor blue(QStringLiteral("#4d90ff"));
    QCOMPARE(countNear(unchecked, blue), 0);
    // Most of the 14 x 14 indicator is the blue box of icon_chb_checked.
    QVERIFY(countNear(checked, blue) > 100);

    QRadioButton radio(QStringLiteral("退出程序"));
    radio.setStyleSheet(sheetText(QStringLiteral("KoRadioButton")));
    radio.resize(100, 24);
    radio.setChecked(true);
    QVERIFY(countNear(radio.grab().toImage(), blue) > 20);
}

void TestResources::buttonSheetsColourTheButtons()
{
    QPushButton confirm(QStringLiteral("确定"));
    confirm.setStyleSheet(sheetText(QStringLiteral("KoConfirmButton")));
    confirm.resize(100, 32);
    const QImage confirmImage = confirm.grab().toImage();
    QVERIFY(countNear(confirmImage, QColor(QStringLiteral("#4D90FF")), 4) > 1500);

    QPushButton cancel(QStringLiteral("取消"));
    cancel.setStyleSheet(sheetText(QStringLiteral("KoCancelButton")));
    cancel.resize(100, 32);
    QVERIFY(countNear(cancel.grab().toImage(), QColor(QStringLiteral("#BEBEBE")), 4) > 1500);
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
