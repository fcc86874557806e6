#include "cli/analysis_args.h"
#include "cli/cli_support.h"
#include "cli/commands.h"

#include "analysis/compute_analysis.h"
#include "analysis/jet_date.h"
#include "records/connection.h"
#include "therapy/protocol_source.h"

#include <QDate>
#include <QFileInfo>

namespace viro::cli {

namespace {

int runMatch(const QStringList& args) {
    Arguments a(args);
    const std::optional<QString> protocolsFile = a.option("protocols");
    const std::optional<QString> today = a.option("today");
    QString error;
    const std::optional<AnalysisInput> in = takeAnalysisOptions(a, &error);
    if (!in)
        return fail("match: " + error);
    if (const QString leftover = leftoverArguments(a); !leftover.isEmpty())
        return fail("match: " + leftover);
    if (!protocolsFile)
        return fail("match: --protocols FILE is required");

    int currentYear = QDate::currentDate().year();
    if (today) {
        const QDate day = QDate::fromString(*today, Qt::ISODate);
        if (!day.isValid() || today->size() != 10)
            return fail("match: --today is not a date (YYYY-MM-DD): '" + *today + "'");
        currentYear = day.year();
    }

    const std::optional<AnalysisResult> result =
        ComputeAnalysis(in->record, in->male, in->birthDate, in->factors);
    if (!result)
        return fail("match: the measurement cannot be analysed");

    if (!QFileInfo(*protocolsFile).isFile())
        return fail("match: no protocol database at " + *protocolsFile);
    Connection connection(ConnectionRole::StandardProtocols);
    if (!connection.open(*protocolsFile, &error))
        return fail("match: " + error);
    std::vector<ProtocolCandidate> protocols;
    if (!loadProtocolCandidates(connection.database(), &protocols, &error))
        return fail("match: " + error);

    const MatchContext patient{in->male, in->birthDate, currentYear};
    QStringList items;
    for (const MatchedProtocol& m : MatchProtocols(protocols, *result, patient))
        items << jsonObject({{"ProNo", jsonString(m.ProNo)},
                             {"ProName", jsonString(m.ProName)},
                             {"MKEY", QString::number(m.MKEY)}});
    printOut(jsonArray(items) + '\n');
    return 0;
}

} // namespace

const CommandRegistration
    registration("match",
                 "match --protocols FILE [--today YYYY-MM-DD] [analysis options as for analyze]",
                 runMatch);

} // namespace viro::cli
