#include "cli/cli_support.h"
#include "cli/commands.h"
#include "cli/measurement_json.h"

#include "core/data_folder.h"
#include "measure/measurement_journal.h"

#include <QJsonValue>

#include <cstdio>

namespace viro::cli {

namespace {

QString usage() {
    return QStringLiteral("journal show [--traces]");
}

int runJournal(const QStringList& args) {
    CommandLine line(QStringLiteral("journal"), usage());
    line.addFlag("traces", "also print every reading of each point's final attempt");
    if (const std::optional<int> status = line.parse(args))
        return *status;
    const QStringList rest = line.positional();
    if (rest.isEmpty())
        return line.fail("missing sub-command; usage: " + usage());
    if (rest.first() != QLatin1String("show"))
        return line.fail("unknown sub-command " + rest.first());
    if (rest.size() > 1)
        return fail("journal show: too many arguments");

    const std::optional<JournalContents> contents =
        MeasurementJournal::read(MeasurementJournal::pathIn(dataFolder()));
    if (!contents) {
        std::fputs("No measurement in progress.\n", stderr);
        return kFailure;
    }
    QJsonObject o = measurementJson(contents->record(), line.isSet("traces"));
    o.insert("points", contents->pointsTaken());
    o.insert("nextPosition", contents->nextPosition());
    o.insert("damage", contents->damage.isEmpty() ? QJsonValue(QJsonValue::Null)
                                                  : QJsonValue(contents->damage));
    o.insert("custNo", contents->header.custNo);
    o.insert("started", contents->header.started);
    printJson(QJsonDocument(o));
    return 0;
}

const CommandRegistration registration("journal", usage, runJournal);

} // namespace

} // namespace viro::cli
