// Renders every picture of the skin from its drawing code, at 1x and 2x, and writes the
// resource list that compiles them into the skin library:
//   skingen OUTPUT_FOLDER
#include "ArtKit.h"
#include "Artwork.h"
#include "SkinPictures.h"
#include "SkinRenderer.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImageWriter>
#include <cstdio>

namespace {

bool Save(const QImage& image, const QString& path) {
    QImageWriter writer(path, "png");
    return writer.write(image);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: skingen OUTPUT_FOLDER\n");
        return 2;
    }
    for (const char* font : {"/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf",
                             "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf"}) {
        QFontDatabase::addApplicationFont(QString::fromLatin1(font));
    }
    if (!QFontDatabase::families().contains(QStringLiteral("IPAPGothic"))) {
        std::fprintf(stderr, "skingen: the IPA Gothic font (fonts-ipafont-gothic) is missing\n");
        return 1;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(out + QStringLiteral("/1x")) ||
        !QDir().mkpath(out + QStringLiteral("/2x"))) {
        std::fprintf(stderr, "skingen: cannot create %s\n", argv[1]);
        return 1;
    }
    art::Pieces pieces;
    art::AddHall(pieces);
    art::AddInstruments(pieces);
    art::AddCharacters(pieces);
    art::AddButtons(pieces);
    art::AddPanels(pieces);

    QString qrc = QStringLiteral("<RCC>\n  <qresource prefix=\"/cantaskin\">\n");
    int missing = 0;
    for (const skinpictures::Picture& picture : skinpictures::kAll) {
        const auto it = pieces.find(picture.id);
        if (it == pieces.end()) {
            std::fprintf(stderr, "skingen: no drawing for picture %d\n", picture.id);
            ++missing;
            continue;
        }
        const art::Piece& piece = it->second;
        const auto pair = SkinRenderer::Render(piece, QSize(picture.width, picture.height));
        for (const auto& [image, folder] : {std::pair{&pair.normal, "1x"}, {&pair.hidpi, "2x"}}) {
            const QString name =
                QStringLiteral("%1/%2.png").arg(QLatin1String(folder)).arg(picture.id);
            if (!Save(*image, out + QLatin1Char('/') + name)) {
                std::fprintf(stderr, "skingen: cannot write %s\n", qPrintable(name));
                return 1;
            }
            qrc += QStringLiteral("    <file>%1</file>\n").arg(name);
        }
    }
    qrc += QStringLiteral("  </qresource>\n</RCC>\n");
    if (missing != 0) {
        std::fprintf(stderr, "skingen: %d pictures without a drawing\n", missing);
        return 1;
    }
    QFile file(out + QStringLiteral("/cantaskin.qrc"));
    if (!file.open(QIODevice::WriteOnly) || file.write(qrc.toUtf8()) < 0) {
        std::fprintf(stderr, "skingen: cannot write the resource list\n");
        return 1;
    }
    return 0;
}
