#include "therapy/protocol_source.h"

#include "records/result_set.h"
#include "records/statements.h"
#include "therapy/log.h"

#include <map>

namespace viro {

namespace {

// A row that could not be read shows as a row of empty fields; the result set keeps the reason.
bool readFailed(const ResultSet& rows, const QString& table, QString* error) {
    if (rows.lastError().isEmpty())
        return false;
    if (error)
        *error = QStringLiteral("cannot read %1: %2").arg(table, rows.lastError());
    return true;
}

bool fail(const QString& message, QString* error) {
    qCWarning(lcTherapy) << "Protocols not loaded:" << message;
    if (error)
        *error = message;
    return false;
}

} // namespace

bool loadProtocolCandidates(const QSqlDatabase& db, std::vector<ProtocolCandidate>* out,
                            QString* error) {
    out->clear();
    QString message;
    // Conditions first, grouped by protocol number (letter case ignored, as the database links
    // them), so each protocol takes its rows in one step.
    std::map<QString, std::vector<ProtocolCondition>> conditions;
    {
        const Selection selection = protocolConditionSelection();
        ResultSet rows(db);
        if (!rows.open(selection, &message))
            return fail(message, error);
        const bool hasAges = rows.hasField("ProAGL") && rows.hasField("ProAGH");
        for (bool more = rows.first(); more; more = rows.next()) {
            ProtocolCondition c;
            c.ProNo = rows.text("ProNo");
            c.ProSubN = rows.text("ProSubN");
            c.ProNote = rows.text("ProNote");
            c.ProAnd = rows.text("ProAnd");
            c.ProCond = rows.text("ProCond");
            if (hasAges) {
                c.ProAGL = int(rows.integer("ProAGL"));
                c.ProAGH = int(rows.integer("ProAGH"));
            }
            c.ProEng = rows.number("ProEng");
            c.ProFlg = rows.flag("ProFlg");
            if (readFailed(rows, selection.table, &message))
                return fail(message, error);
            conditions[c.ProNo.toUpper()].push_back(c);
        }
    }
    const Selection selection = protocolSelection();
    ResultSet protocols(db);
    if (!protocols.open(selection, &message))
        return fail(message, error);
    std::vector<ProtocolCandidate> read;
    for (bool more = protocols.first(); more; more = protocols.next()) {
        ProtocolCandidate p;
        p.MKEY = int(protocols.integer("MKEY"));
        p.ProNo = protocols.text("ProNo");
        p.ProName = protocols.text("ProName");
        if (readFailed(protocols, selection.table, &message))
            return fail(message, error);
        if (const auto it = conditions.find(p.ProNo.toUpper()); it != conditions.end())
            p.conditions = it->second;
        read.push_back(std::move(p));
    }
    *out = std::move(read);
    return true;
}

} // namespace viro
