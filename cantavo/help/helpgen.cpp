// Renders one help document from its Markdown source to PDF, while the program is built:
//
//     helpgen SOURCE.md OUTPUT.pdf IMAGE_ROOT
//
// Pictures are named in the source by paths below IMAGE_ROOT (the project folder), so that a
// newer screenshot committed there replaces the old one in the next build. A picture that
// cannot be read fails the build: a guide never ships with a hole where a picture belongs.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>
#include <QUrl>
#include <cstdio>
#include <vector>

namespace {

// The widest a picture is laid out, in the document's pixels (the text is about 640 wide).
constexpr double kWidestPicture = 560.0;

bool Fail(const QString& text) {
    std::fprintf(stderr, "helpgen: %s\n", qPrintable(text));
    return false;
}

// Pictures keep their own size up to the widest, and are scaled down beyond it.
bool FitPictures(QTextDocument& document, const QDir& root) {
    struct Picture {
        int position;
        int length;
        QTextImageFormat format;
    };
    std::vector<Picture> pictures;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.isValid() && fragment.charFormat().isImageFormat()) {
                pictures.push_back({fragment.position(), fragment.length(),
                                    fragment.charFormat().toImageFormat()});
            }
        }
    }
    for (Picture& picture : pictures) {
        const QString name = picture.format.name();
        const QString path = root.filePath(name);
        const QSize size = QImageReader(path).size();
        if (!size.isValid()) {
            return Fail(QStringLiteral("cannot read the picture %1").arg(path));
        }
        // The printed copy of the document loads its pictures again: by absolute path, and
        // from the resources added here, so that it never looks anywhere else.
        const QImage image(path);
        if (image.isNull()) {
            return Fail(QStringLiteral("cannot read the picture %1").arg(path));
        }
        const QString absolute = QFileInfo(path).absoluteFilePath();
        document.addResource(QTextDocument::ImageResource, QUrl::fromLocalFile(absolute), image);
        picture.format.setName(QUrl::fromLocalFile(absolute).toString());
        const double scale = std::min(1.0, kWidestPicture / size.width());
        picture.format.setWidth(size.width() * scale);
        picture.format.setHeight(size.height() * scale);
        QTextCursor cursor(&document);
        cursor.setPosition(picture.position);
        cursor.setPosition(picture.position + picture.length, QTextCursor::KeepAnchor);
        cursor.setCharFormat(picture.format);
    }
    return true;
}

QString TitleOf(const QString& markdown) {
    const QRegularExpression heading(QStringLiteral("^# (.+)$"),
                                     QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = heading.match(markdown);
    return match.hasMatch() ? match.captured(1).trimmed() : QString();
}

bool Render(const QString& source, const QString& output, const QString& imageRoot) {
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly)) {
        return Fail(QStringLiteral("cannot read %1").arg(source));
    }
    const QString markdown = QString::fromUtf8(file.readAll());
    const QString title = TitleOf(markdown);
    if (title.isEmpty()) {
        return Fail(QStringLiteral("%1 has no title (a first-level heading)").arg(source));
    }

    QTextDocument document;
    QFont font(QStringLiteral("IPAPGothic"));
    font.setPointSizeF(10.5);
    document.setDefaultFont(font);
    const QDir root(imageRoot);
    document.setBaseUrl(QUrl::fromLocalFile(root.absolutePath() + QLatin1Char('/')));
    document.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    if (!FitPictures(document, root)) {
        return false;
    }

    const QString partial = output + QStringLiteral(".part");
    {
        QPdfWriter writer(partial);
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("Cantavo"));
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter));
        document.print(&writer);
    }
    // The document appears under its name only when it is complete.
    QFile::remove(output);
    if (QFileInfo(partial).size() == 0 || !QFile::rename(partial, output)) {
        QFile::remove(partial);
        return Fail(QStringLiteral("cannot write %1").arg(output));
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication application(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: helpgen SOURCE.md OUTPUT.pdf IMAGE_ROOT\n");
        return 2;
    }
    for (const char* path : {"/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf",
                             "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf"}) {
        QFontDatabase::addApplicationFont(QString::fromLatin1(path));
    }
    if (!QFontDatabase::families().contains(QStringLiteral("IPAPGothic"))) {
        std::fprintf(stderr, "helpgen: the IPA Gothic font (fonts-ipafont-gothic) is missing\n");
        return 1;
    }
    return Render(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]),
                  QString::fromLocal8Bit(argv[3]))
               ? 0
               : 1;
}
