#pragma once

#include <QString>

namespace viro {

// One patient: the fields of a ZeCust row. Dates are Jet date values; 0 (or anything up to 4000)
// is no date.
struct PatientRecord {
    QString custNo; // the patient's key, unique without regard to letter case
    QString name;
    bool male = true;
    double birthDate = 0;
    QString addr;
    QString tel;
    QString tel2; // mobile
    QString tel3; // fax
    QString eMail;
    QString bType;
    double height = 0;
    double weight = 0;
    QString memo;
    QString custCat;
    QString custFg;
    bool prtFg = false;
    double premea = 0; // date and time of the latest measurement, 0 for none

    friend bool operator==(const PatientRecord&, const PatientRecord&) = default;
};

} // namespace viro
