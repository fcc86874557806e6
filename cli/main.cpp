#include "cli_support.h"
#include "commands.h"

#include <QCoreApplication>

#include <functional>
#include <map>

namespace {

const char* const kUsage =
    "usage: viro-cli COMMAND [ARGUMENTS]\n"
    "commands:\n"
    "  analyze --values v1,...,v24 [--quality q1,...,q24] [--sex male|female]\n"
    "          [--birth DATE] [--date DATETIME] [--order-mode N] [--order m1,...,m12]\n"
    "          [--factor-mode N] [--factors f1,...,f12]\n"
    "  cipher encrypt --key N TEXT\n"
    "  cipher decrypt --key N HEX\n"
    "  settings show [--file PATH]\n";

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("viro-cli");
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty() || args.first() == "--help" || args.first() == "-h") {
        viro::cli::printOut(kUsage);
        return args.isEmpty() ? viro::cli::kUsageError : 0;
    }
    const std::map<QString, std::function<int(const QStringList&)>> commands{
        {"analyze", viro::cli::runAnalyze},
        {"cipher", viro::cli::runCipher},
        {"settings", viro::cli::runSettings},
    };
    const QString name = args.takeFirst();
    const auto it = commands.find(name);
    if (it == commands.end())
        return viro::cli::fail("unknown command " + name + " (try --help)");
    return it->second(args);
}
