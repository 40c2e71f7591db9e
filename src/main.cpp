// Entry point: the application object that off-screen painting needs, then the run driver.
#include <QByteArray>
#include <QFont>
#include <QGuiApplication>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "run/driver.h"

namespace {

// Qt's own diagnostics go to standard error, except the notice about a missing XDG_RUNTIME_DIR, which every
// run on a server or in CI would print and which says nothing about the run.
void qtMessageFilter(QtMsgType, const QMessageLogContext&, const QString& message) {
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR"))) return;
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

}  // namespace

int main(int argc, char** argv) {
    // The run paints off screen only: the same back end on a laptop, a server and CI, no display needed.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(qtMessageFilter);
    // "-style" is a switch of the tool, but the toolkit takes "-style NAME" as an option of its own and would
    // remove both: the name is hidden behind a marker that is no option while the application object is made.
    static char styleMarker[] = "\x01-style";
    char* styleSwitch = nullptr;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-style") == 0) styleSwitch = argv[i], argv[i] = styleMarker;
    QGuiApplication application(argc, argv);  // removes the toolkit's own options from argc and argv
    for (int i = 1; i < argc; ++i)
        if (argv[i] == styleMarker) argv[i] = styleSwitch;
    // Tick labels are drawn in the application font: fix it so that they look the same everywhere.
    QGuiApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 9));

    std::vector<std::string> args(argv, argv + argc);
    std::ios::sync_with_stdio(false);
    return vennrick::runDriver(args, std::cout, std::cerr);
}
