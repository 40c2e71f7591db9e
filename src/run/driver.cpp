// The run driver: banner, argument echo, mode, clock lines, and the one place a fatal outcome is printed.
#include "run/driver.h"

#include <QDate>
#include <QElapsedTimer>
#include <QTime>
#include <optional>

#include "base/text.h"
#include "run/about.h"
#include "settings/warnings.h"
#include "report/run_report.h"
#include "run/manhattan.h"
#include "settings/switches.h"

namespace vennrick {
namespace {

constexpr size_t kModeCapacity = 49;  // longest mode text; a longer one is no mode at all

void printBanner(std::ostream& out) {
    out << "\nVennrick - VNK v. 0.3.1\n"
        << "Website: https://vennrick.org\n"
        << "Email: help@vennrick.org, developers@vennrick.org\n\n";
}

// The argument after the first "-M" or "-m" that is not the last argument; nullopt when there is none.
std::optional<std::string> findMode(const std::vector<std::string>& args) {
    for (size_t i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "-M" || args[i] == "-m") return args[i + 1];
    }
    return std::nullopt;
}

}  // namespace

std::string formatElapsed(int64_t msecs) {
    const int64_t hours = msecs / 3600000;
    const int64_t mins = msecs / 60000 - 60 * hours;
    const int64_t secs = msecs / 1000 - 60 * mins - 3600 * hours;
    const int64_t rest = msecs - 1000 * secs - 60000 * mins - 3600000 * hours;
    std::string text = "\nDONE in ";
    if (hours > 0) text += std::to_string(hours) + " h ";
    if (hours > 0 || mins > 0) text += std::to_string(mins) + " min ";
    if (hours > 0 || mins > 0 || secs > 0) text += std::to_string(secs) + " sec ";
    text += std::to_string(rest) + " msec ";
    return text + "\n\n";
}

int runDriver(const std::vector<std::string>& args, std::ostream& out, std::ostream& errStream) {
    // --help, -h or --version alone: the answer on standard output, nothing else.
    if (std::optional<std::string> about = aboutText(args)) {
        out << *about << std::flush;
        return 0;
    }
    // Standard error passes through a recorder that keeps the run's warnings for its report; the bytes are the same.
    RunRecord record;
    record.commandLine = args;
    LineRecorder recorder(errStream.rdbuf(), record.warnings);
    std::ostream err(&recorder);
    err.flags(errStream.flags());
    printBanner(out);
    for (size_t i = 1; i < args.size(); ++i) out << i << ' ' << args[i] << '\n';

    std::string mode;
    if (args.size() > 1) {
        std::optional<std::string> found = findMode(args);
        if (!found) {
            out << "You need to specify the mode '-M'\n\n" << std::flush;
            printLines(err, {usageHint()});
            return 1;
        }
        if (found->size() <= kModeCapacity) mode = *found;
    }
    const SwitchList Switches = mode == "manhattan" ? collectSwitches(args) : SwitchList{};
    // For people, on standard error: what the command line holds that no switch takes, or why nothing runs.
    if (lookupSwitch(collectSwitches(args), "-quiet") != std::optional<std::string>("yes")) {
        if (mode == "manhattan") {
            printLines(err, argumentWarnings(args));
        } else if (args.size() > 1) {
            printLines(err, {"unknown mode '" + shownText(*findMode(args)) + "': the only mode is manhattan; " +
                             usageHint()});
        } else {
            printLines(err, {usageHint()});
        }
    }

    QElapsedTimer t;
    t.start();
    out << "Start: " << QTime::currentTime().toString(Qt::TextDate).toLocal8Bit().constData() << ' '
        << QDate::currentDate().toString(Qt::TextDate).toLocal8Bit().constData() << '\n';

    if (mode == "manhattan") {
        std::optional<Fatal> fatal = manhattan(Switches, out, err, record);
        if (record.reportPath) {
            // A report that cannot be written fails a run that went well; a failed run keeps its own message.
            const double elapsedMs = static_cast<double>(t.nsecsElapsed()) / 1e6;
            const std::string text = reportText(record, fatal, fatal ? 1 : 0, elapsedMs);
            if (std::optional<Fatal> notWritten = writeReportFile(*record.reportPath, text)) {
                if (!fatal) {
                    fatal = notWritten;
                } else {
                    err << "vennrick: " << notWritten->detail << '\n';
                }
            }
        }
        if (fatal) {
            out << fatal->message << std::flush;
            if (!fatal->detail.empty()) err << "vennrick: " << fatal->detail << '\n' << std::flush;
            return 1;
        }
    } else {
        out << "-M switch not specified, nothing happened\n";
    }

    out << formatElapsed(t.elapsed()) << std::flush;
    return 0;
}

}  // namespace vennrick
