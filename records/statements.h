#pragma once

#include "records/result_set.h"

#include <QString>

namespace viro {

// Patient lists share one signed sort key: its absolute value picks the column (1 patient
// number ... 11 fax), its sign the direction. 0 counts as -1.
inline constexpr int kPatientSortColumns = 11;
int normalisedSortKey(int sortKey);
bool sortDescending(int sortKey);
// "CustNo", "Name", "Sex", "DBirth", "DBirth", "Premea", "Tel", "Addr", "email", "Tel2", "Tel3";
// a key outside the columns sorts by patient number.
QString patientSortField(int sortKey);
// The sort key after a click on a list column: column 0 (row number) counts as 1; the current
// column toggles the direction, another column keeps it.
int sortKeyAfterClick(int sortKey, int column);

// Every patient, ordered by the sort key's field (descending for a negative key).
Selection patientListSelection(int sortKey);

// One patient's measurements newest first; the number is trimmed and bound.
Selection measurementListSelection(const QString& custNo);
// All measurements by patient: the set a new measurement is appended to.
Selection allMeasurementsSelection();
// The analysis window's measurements of the current patient; no patient matches no row.
Selection analysisMeasurementSelection(const QString& custNo);

// Protocols through their index, and the conditions linked to them by ProNo.
Selection protocolSelection();
Selection protocolConditionSelection();

} // namespace viro
