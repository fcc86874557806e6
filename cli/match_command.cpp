#include "cli/analysis_args.h"
#include "cli/cli_support.h"
#include "cli/commands.h"

#include "records/connection.h"
#include "therapy/protocol_source.h"

#include <QDate>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

namespace viro::cli {

namespace {

QString usage() {
    return QStringLiteral(
        "match --protocols FILE [--today YYYY-MM-DD] [analysis options as for analyze]");
}

int runMatch(const QStringList& args) {
    CommandLine line(QStringLiteral("match"), usage());
    line.addOption("protocols", "FILE", "the protocol database (required)");
    line.addOption("today", "YYYY-MM-DD", "the day that fixes the patient's age (default today)");
    addAnalysisOptions(line);
    if (const std::optional<int> status = line.parse(args))
        return *status;
    if (!line.positional().isEmpty())
        return line.fail("unexpected argument " + line.positional().first());
    QString error;
    const std::optional<AnalysisInput> in = readAnalysisOptions(line, &error);
    if (!in)
        return line.fail(error);
    const std::optional<QString> protocolsFile = line.value("protocols");
    if (!protocolsFile)
        return line.fail("--protocols FILE is required");

    int currentYear = QDate::currentDate().year();
    if (const std::optional<QString> today = line.value("today")) {
        const QDate day = QDate::fromString(*today, Qt::ISODate);
        if (!day.isValid() || today->size() != 10)
            return line.fail("--today is not a date (YYYY-MM-DD): '" + *today + "'");
        currentYear = day.year();
    }

    const std::optional<AnalysisResult> result = analyse(*in, &error);
    if (!result)
        return line.fail(error);

    if (!QFileInfo(*protocolsFile).isFile())
        return line.fail("no protocol database at " + *protocolsFile);
    // From here on the file is there but may not be readable: that is no usage error, and an
    // empty list would pass for "nothing matches".
    Connection connection(ConnectionRole::StandardProtocols);
    if (!connection.open(*protocolsFile, &error))
        return line.fail(error, kFailure);
    std::vector<ProtocolCandidate> protocols;
    if (!loadProtocolCandidates(connection.database(), &protocols, &error))
        return line.fail(*protocolsFile + ": " + error, kFailure);

    const MatchContext patient{in->male, in->birthDate, currentYear};
    QJsonArray items;
    for (const MatchedProtocol& m : MatchProtocols(protocols, *result, patient))
        items.append(QJsonObject{{"ProNo", m.ProNo}, {"ProName", m.ProName}, {"MKEY", m.MKEY}});
    printJson(QJsonDocument(items));
    return 0;
}

} // namespace

const CommandRegistration registration("match", usage, runMatch);

} // namespace viro::cli
