// The application object for painting off screen.
#include "figure/offscreen.h"

#include <QByteArray>
#include <QFont>
#include <cstdio>
#include <cstring>

namespace vennrick {
namespace {

// Qt's own diagnostics go to standard error, except the notice about a missing XDG_RUNTIME_DIR, which every
// run on a server or in CI would print and which says nothing about the run.
void qtMessageFilter(QtMsgType, const QMessageLogContext&, const QString& message) {
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR"))) return;
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

}  // namespace

std::unique_ptr<QGuiApplication> startOffscreenPainting(int& argc, char** argv) {
    // The same back end on a laptop, a server and CI, no display needed.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(qtMessageFilter);
    // "-style" is a switch of the tool, but the toolkit takes "-style NAME" as an option of its own and would
    // remove both: the name is hidden behind a marker that is no option while the application object is made.
    static char styleMarker[] = "\x01-style";
    char* styleSwitch = nullptr;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-style") == 0) styleSwitch = argv[i], argv[i] = styleMarker;
    auto application = std::make_unique<QGuiApplication>(argc, argv);  // removes the toolkit's own options
    for (int i = 1; i < argc; ++i)
        if (argv[i] == styleMarker) argv[i] = styleSwitch;
    // Tick labels are drawn in the application font: fix it so that they look the same everywhere.
    QGuiApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
    return application;
}

}  // namespace vennrick
