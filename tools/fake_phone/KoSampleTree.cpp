#include "KoSampleTree.h"

#include <QBuffer>
#include <QColor>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

// Fixed times keep two sample trees alike and give the time sort something to order.
const QDateTime kNewest(QDate(2026, 11, 28), QTime(9, 30), Qt::UTC);

QImage drawPhoto(int width, int height, int hue)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, QColor::fromHsv(hue, 150, 245));
    sky.setColorAt(1, QColor::fromHsv((hue + 40) % 360, 70, 255));
    p.fillRect(image.rect(), sky);
    const qreal side = qMin(width, height);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 214, 90));
    p.drawEllipse(QPointF(width * 0.72, height * 0.3), side * 0.12, side * 0.12);
    QPainterPath hills;
    hills.moveTo(0, height);
    hills.lineTo(0, height * 0.7);
    hills.quadTo(width * 0.3, height * 0.45, width * 0.55, height * 0.72);
    hills.quadTo(width * 0.8, height * 0.55, width, height * 0.68);
    hills.lineTo(width, height);
    hills.closeSubpath();
    p.setBrush(QColor::fromHsv((hue + 120) % 360, 140, 140));
    p.drawPath(hills);
    // A frame shows where the picture ends inside a thumbnail of another shape.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor::fromHsv(hue, 200, 110), qMax(2.0, side / 60)));
    p.drawRect(QRectF(image.rect()).adjusted(1, 1, -1, -1));
    return image;
}

// One page saying "ReRaze sample", with the cross-reference offsets a reader checks.
QByteArray samplePdf()
{
    const QByteArray content = "BT /F1 24 Tf 36 60 Td (ReRaze sample) Tj ET";
    const QList<QByteArray> objects{
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 144] /Contents 4 0 R "
        "/Resources << /Font << /F1 5 0 R >> >> >>",
        "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    };
    QByteArray pdf = "%PDF-1.4\n";
    QList<int> offsets;
    for (int i = 0; i < objects.size(); ++i) {
        offsets.append(pdf.size());
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const int xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (int offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n"
        + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

// The files a phone holds; placeholders stand in for formats that cannot be made here.
class KoSampleWriter
{
public:
    explicit KoSampleWriter(const QString& root)
        : m_root(root)
    {
    }
    QString error() const { return m_error; }

    void folder(const QString& path)
    {
        if (m_error.isEmpty() && !QDir().mkpath(m_root + QLatin1Char('/') + path))
            m_error = QStringLiteral("cannot make the folder ") + path;
    }

    void file(const QString& path, const QByteArray& data)
    {
        if (!m_error.isEmpty())
            return;
        const QString local = m_root + QLatin1Char('/') + path;
        folder(QFileInfo(path).path());
        QFile f(local);
        // Each file a little older than the one before.
        const QDateTime time = kNewest.addSecs(-7 * 3600 * qint64(m_files++));
        if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size() || !f.flush()
            || !f.setFileTime(time, QFileDevice::FileModificationTime))
            m_error = QStringLiteral("cannot write ") + local;
    }

    void placeholder(const QString& path) { file(path, "ReRaze sample: " + path.toUtf8() + "\n"); }

    void photo(const QString& path, int width, int height, int hue)
    {
        QByteArray data;
        QBuffer buffer(&data);
        buffer.open(QIODevice::WriteOnly);
        const bool png = path.endsWith(QLatin1String(".png"));
        if (!drawPhoto(width, height, hue).save(&buffer, png ? "PNG" : "JPEG", png ? -1 : 85)) {
            m_error = QStringLiteral("cannot encode ") + path;
            return;
        }
        file(path, data);
    }

private:
    QString m_root;
    QString m_error;
    int m_files = 0;
};

void writeStorage(KoSampleWriter& w)
{
    w.photo(QStringLiteral("DCIM/Camera/IMG_20261128_093000.jpg"), 1600, 1200, 200);
    w.photo(QStringLiteral("DCIM/Camera/IMG_20261127_181500.jpg"), 1200, 1600, 20);
    w.placeholder(QStringLiteral("DCIM/Camera/VID_20261126_200000.mp4"));
    w.file(QStringLiteral("Download/说明书.pdf"), samplePdf());
    w.placeholder(QStringLiteral("Download/报价单 2026.xlsx"));
    w.placeholder(QStringLiteral("Download/installer.apk"));
    w.file(QStringLiteral("文档/会议纪要.txt"),
           QStringLiteral("会议纪要\n\n一、本周进展\n二、下周计划\n\nMeeting notes, a plain text file.\n").toUtf8());
    w.placeholder(QStringLiteral("文档/项目计划.docx"));
    w.placeholder(QStringLiteral("文档/年度总结.pptx"));
    w.file(QStringLiteral("文档/工作/2026/十二月/周报/第一周.txt"),
           QStringLiteral("五层深的文件夹：路径栏的样子。\n").toUtf8());
    w.photo(QStringLiteral("📁 收藏/🌅 日出.jpg"), 1600, 900, 30);
    w.photo(QStringLiteral("📁 收藏/😀 表情包.png"), 512, 512, 50);
    w.placeholder(QStringLiteral("音乐/晚风 🎵.mp3"));
    w.file(QStringLiteral("一个名字很长很长很长的文件夹 with a rather long name as well/说明.txt"),
           QStringLiteral("长名字的文件夹。\n").toUtf8());
    w.file(QStringLiteral("这是一个特别特别长的文件名，用来看列表、图标和路径栏怎样截断它 — "
                          "a very long file name to see how every view elides it.txt"),
           QStringLiteral("长文件名。\n").toUtf8());
    // An empty zip archive: end-of-central-directory record only.
    w.file(QStringLiteral("压缩包.zip"), QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0'));
    w.file(QStringLiteral("readme.txt"),
           QByteArray("A fake phone's storage, written by reraze_fake_phone --sample.\n"
                      "Change it freely: a later --sample with the same folder keeps it.\n"));
}

void writeAlbums(KoSampleWriter& w)
{
    // One album of every common shape, with a PNG among the JPEGs.
    w.photo(QStringLiteral("相机/IMG_4_3.jpg"), 1600, 1200, 210);
    w.photo(QStringLiteral("相机/IMG_3_4.jpg"), 1200, 1600, 10);
    w.photo(QStringLiteral("相机/IMG_16_9.jpg"), 1600, 900, 180);
    w.photo(QStringLiteral("相机/IMG_9_16.jpg"), 900, 1600, 280);
    w.photo(QStringLiteral("相机/IMG_1_1.png"), 1200, 1200, 120);
    w.photo(QStringLiteral("相机/PANO_3_1.jpg"), 1800, 600, 160);
    w.photo(QStringLiteral("截图 📱/Screenshot_竖屏.png"), 540, 1170, 230);
    w.photo(QStringLiteral("截图 📱/Screenshot_横屏.png"), 1170, 540, 250);
    w.photo(QStringLiteral("旅行 🌅 厦门 2026/海边.jpg"), 1600, 1200, 190);
    w.photo(QStringLiteral(
                "旅行 🌅 厦门 2026/鼓浪屿 🏝️ 很长很长的照片名字 with a long name.jpg"),
            1200, 1600, 40);
    w.photo(QStringLiteral("旅行 🌅 厦门 2026/日落.jpg"), 1600, 900, 15);
    w.folder(QStringLiteral("空相册"));
}

void writeSdCard(KoSampleWriter& w)
{
    w.photo(QStringLiteral("DCIM/Camera/IMG_20250801_120000.jpg"), 1600, 1200, 90);
    w.placeholder(QStringLiteral("Music/夜曲.mp3"));
    w.placeholder(QStringLiteral("Movies/家庭聚会 🎉.mp4"));
    w.placeholder(QStringLiteral("备份/通讯录备份.vcf"));
    w.file(QStringLiteral("backup.zip"), QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0'));
    w.folder(QStringLiteral("Android/data"));
}

void writeAppDisk(KoSampleWriter& w)
{
    w.file(QStringLiteral("我的文件/笔记.txt"), QStringLiteral("随手记。\n").toUtf8());
    w.file(QStringLiteral("共享 📱/给同事的资料.pdf"), samplePdf());
    w.placeholder(QStringLiteral("工作文档/方案 v2（终稿）.docx"));
    w.photo(QStringLiteral("相片备份/IMG_0001.jpg"), 1200, 900, 300);
}

} // namespace

namespace KoSampleTree {

QString storageDir(const QString& dir)
{
    return QDir(dir).filePath(QStringLiteral("storage"));
}

QString albumsDir(const QString& dir)
{
    return QDir(dir).filePath(QStringLiteral("albums"));
}

QString sdCardDir(const QString& dir)
{
    return QDir(dir).filePath(QStringLiteral("sdcard"));
}

QString appDiskDir(const QString& dir)
{
    return QDir(dir).filePath(QStringLiteral("appdisk"));
}

bool write(const QString& dir, QString* error)
{
    if (QFileInfo(storageDir(dir)).isDir())
        return true;
    if (!QDir(dir).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        *error = dir + QStringLiteral(" holds other files: name a new or empty folder");
        return false;
    }
    const struct {
        QString folder;
        void (*write)(KoSampleWriter&);
    } parts[] = {{albumsDir(dir), writeAlbums},
                 {sdCardDir(dir), writeSdCard},
                 {appDiskDir(dir), writeAppDisk},
                 // Last: a later run takes its presence for a tree written before.
                 {storageDir(dir), writeStorage}};
    for (const auto& part : parts) {
        KoSampleWriter writer(part.folder);
        writer.folder(QStringLiteral("."));
        part.write(writer);
        if (!writer.error().isEmpty()) {
            *error = writer.error();
            return false;
        }
    }
    return true;
}

} // namespace KoSampleTree
