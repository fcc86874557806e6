#include "therapy/protocol_source.h"

#include "records/result_set.h"
#include "records/statements.h"

#include <map>

namespace viro {

bool loadProtocolCandidates(const QSqlDatabase& db, std::vector<ProtocolCandidate>* out,
                            QString* error) {
    out->clear();
    // Conditions first, grouped by protocol number (letter case ignored, as the database links
    // them), so each protocol takes its rows in one step.
    std::map<QString, std::vector<ProtocolCondition>> conditions;
    {
        ResultSet rows(db);
        if (!rows.open(protocolConditionSelection(), error))
            return false;
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
            conditions[c.ProNo.toUpper()].push_back(c);
        }
    }
    ResultSet protocols(db);
    if (!protocols.open(protocolSelection(), error))
        return false;
    for (bool more = protocols.first(); more; more = protocols.next()) {
        ProtocolCandidate p;
        p.MKEY = int(protocols.integer("MKEY"));
        p.ProNo = protocols.text("ProNo");
        p.ProName = protocols.text("ProName");
        if (const auto it = conditions.find(p.ProNo.toUpper()); it != conditions.end())
            p.conditions = it->second;
        out->push_back(std::move(p));
    }
    return true;
}

} // namespace viro
