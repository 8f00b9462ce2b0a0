// lumora-artgen: draws the application's art from the manifest.
//   lumora-artgen MANIFEST OUTDIR
// writes OUTDIR/NAME.png (1x) and OUTDIR/NAME@2x.png (2x) for every entry.
// The pictures depend only on the manifest, this program and the DejaVu Sans
// font: running it twice gives byte-identical files.
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ui/art/ArtManifest.h"
#include "ui/art/ArtPainter.h"

using namespace lumora;

namespace {

// The labels are set in DejaVu Sans: loaded from its file when present, so the
// result does not depend on what else fontconfig knows.
QString labelFamily() {
    for (const char* path : {"/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf",
                             "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"}) {
        const int id = QFontDatabase::addApplicationFont(QString::fromUtf8(path));
        if (id >= 0 && !QFontDatabase::applicationFontFamilies(id).isEmpty()) {
            return QFontDatabase::applicationFontFamilies(id).first();
        }
    }
    return QStringLiteral("DejaVu Sans");
}

// A build step should be quiet: Qt's note about a missing per-user runtime
// folder (a build server often has none) is dropped, everything else kept.
void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (message.startsWith(QLatin1String("QStandardPaths:"))) return;
    std::fprintf(stderr, "%s%s\n", type == QtWarningMsg ? "warning: " : "", message.toLocal8Bit().constData());
}

bool writeAtomically(const QImage& image, const QString& path) {
    const QString temp = path + QStringLiteral(".tmp");
    if (!image.save(temp, "PNG")) return false;
    QFile::remove(path);
    return QFile::rename(temp, path);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s MANIFEST OUTDIR\n", argv[0]);
        return 2;
    }
    // No window is ever shown: the offscreen platform gives fonts without a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietHandler);
    QGuiApplication app(argc, argv);

    std::vector<ArtEntry> entries;
    std::string error;
    if (!ArtManifest::load(argv[1], entries, error)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], error.c_str());
        return 1;
    }
    for (const ArtEntry& e : entries) {
        if (!ArtPainter::knowsGlyph(e.glyph)) {
            std::fprintf(stderr, "%s:%d: unknown glyph \"%s\"\n", argv[1], e.line, e.glyph.c_str());
            return 1;
        }
    }

    const QString family = labelFamily();
    QFont probe(family);
    if (QFontInfo(probe).family() != family) {
        std::fprintf(stderr, "lumora-artgen: font \"%s\" not available (install fonts-dejavu-core)\n",
                     family.toUtf8().constData());
        return 1;
    }

    const QString out = QString::fromUtf8(argv[2]);
    if (!QDir().mkpath(out)) {
        std::fprintf(stderr, "lumora-artgen: cannot create %s\n", argv[2]);
        return 1;
    }
    ArtPainter painter(family);
    for (const ArtEntry& e : entries) {
        for (int scale : {1, 2}) {
            const QString name = QString::fromStdString(e.name) + (scale == 2 ? QStringLiteral("@2x") : QString());
            const QString path = out + QLatin1Char('/') + name + QStringLiteral(".png");
            if (!writeAtomically(painter.draw(e, scale), path)) {
                std::fprintf(stderr, "lumora-artgen: cannot write %s\n", path.toUtf8().constData());
                return 1;
            }
        }
    }
    return 0;
}
