#include "records/statements.h"

#include <cstdlib>

namespace viro {

int normalisedSortKey(int sortKey) {
    return sortKey == 0 ? -1 : sortKey;
}

bool sortDescending(int sortKey) {
    return normalisedSortKey(sortKey) < 1;
}

QString patientSortField(int sortKey) {
    static const char* const fields[kPatientSortColumns] = {"CustNo", "Name",   "Sex", "DBirth",
                                                            "DBirth", "Premea", "Tel", "Addr",
                                                            "email",  "Tel2",   "Tel3"};
    const int column = std::abs(normalisedSortKey(sortKey));
    if (column < 1 || column > kPatientSortColumns)
        return QStringLiteral("CustNo");
    return QString::fromLatin1(fields[column - 1]);
}

int sortKeyAfterClick(int sortKey, int column) {
    const int key = normalisedSortKey(sortKey);
    const int c = column == 0 ? 1 : column;
    if (c == std::abs(key))
        return -key;
    return key < 1 ? -c : c;
}

Selection patientListSelection(int sortKey) {
    Selection s;
    s.table = QStringLiteral("ZeCust");
    s.order =
        patientSortField(sortKey) + (sortDescending(sortKey) ? QStringLiteral(" DESC") : QString());
    return s;
}

Selection measurementListSelection(const QString& custNo) {
    Selection s;
    s.table = QStringLiteral("ZeData");
    s.filter = QStringLiteral("CustNo = ?");
    s.bindings = {custNo.trimmed()};
    s.order = QStringLiteral("ZeDate DESC");
    return s;
}

Selection allMeasurementsSelection() {
    Selection s;
    s.table = QStringLiteral("ZeData");
    s.order = QStringLiteral("CustNo ASC");
    return s;
}

Selection analysisMeasurementSelection(const QString& custNo) {
    Selection s;
    s.table = QStringLiteral("ZeData");
    const QString number = custNo.trimmed();
    if (number.isEmpty()) {
        s.filter = QStringLiteral("0 = 1");
    } else {
        s.filter = QStringLiteral("CUSTNO = ?");
        s.bindings = {number};
    }
    s.order = QStringLiteral("ZEDATE DESC");
    return s;
}

Selection protocolSelection() {
    Selection s;
    s.table = QStringLiteral("ZePro");
    s.order = QStringLiteral("ProNo ASC"); // served by the index ZeProB
    return s;
}

Selection protocolConditionSelection() {
    Selection s;
    s.table = QStringLiteral("ZePrDt");
    s.order = QStringLiteral("ProNo ASC");
    return s;
}

} // namespace viro
