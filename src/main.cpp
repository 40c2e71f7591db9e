// Entry point: the application object that off-screen painting needs, then the run driver.
#include <QByteArray>
#include <QFont>
#include <QGuiApplication>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "driver.h"

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
    QGuiApplication application(argc, argv);  // removes the toolkit's own options from argc and argv
    // Tick labels are drawn in the application font: fix it so that they look the same everywhere.
    QGuiApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 9));

    std::vector<std::string> args(argv, argv + argc);
    std::ios::sync_with_stdio(false);
    return vennrick::runDriver(args, std::cout, std::cerr);
}
