// Renders one help document from its Markdown source to PDF, while the program is built:
//
//     helpgen SOURCE.md OUTPUT.pdf IMAGE_ROOT
//
// Pictures are named in the source by paths below IMAGE_ROOT (the project folder), so that a
// newer screenshot committed there replaces the old one in the next build. A picture that
// cannot be read fails the build: a guide never ships with a hole where a picture belongs.
// A picture marked optional, ![text](path "optional") on a line of its own, is a screenshot
// that another part of the program brings: until it is there its line is left out, and the
// generator says so.
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
#include <QTextTable>
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

// The source with every optional picture that exists made an ordinary one, and the line of
// every one that does not exist left out.
QString ResolveOptional(const QString& markdown, const QDir& root) {
    static const QRegularExpression optional(
        QStringLiteral("^(\\s*!\\[[^\\]]*\\]\\()([^ )]+) \"optional\"\\)\\s*$"));
    QStringList lines = markdown.split(QLatin1Char('\n'));
    QStringList out;
    for (const QString& line : lines) {
        const QRegularExpressionMatch match = optional.match(line);
        if (!match.hasMatch()) {
            out << line;
            continue;
        }
        const QString path = match.captured(2);
        if (QFileInfo::exists(root.filePath(path))) {
            out << match.captured(1) + path + QLatin1Char(')');
        } else {
            std::fprintf(stderr, "helpgen: the optional picture %s is not there yet\n",
                         qPrintable(path));
        }
    }
    return out.join(QLatin1Char('\n'));
}

// A table that goes on over a page break shows its header row again on the new page.
void RepeatTableHeaders(QTextDocument& document) {
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        QTextCursor cursor(block);
        if (QTextTable* table = cursor.currentTable()) {
            QTextTableFormat format = table->format();
            if (format.headerRowCount() != 1) {
                format.setHeaderRowCount(1);
                table->setFormat(format);
            }
        }
    }
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
    const QDir root(imageRoot);
    const QString markdown = ResolveOptional(QString::fromUtf8(file.readAll()), root);
    const QString title = TitleOf(markdown);
    if (title.isEmpty()) {
        return Fail(QStringLiteral("%1 has no title (a first-level heading)").arg(source));
    }

    QTextDocument document;
    QFont font(QStringLiteral("IPAPGothic"));
    font.setPointSizeF(10.5);
    document.setDefaultFont(font);
    document.setBaseUrl(QUrl::fromLocalFile(root.absolutePath() + QLatin1Char('/')));
    document.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    if (!FitPictures(document, root)) {
        return false;
    }
    RepeatTableHeaders(document);

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
