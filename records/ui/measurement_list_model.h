#pragma once

#include "records/patient_store.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QString>

#include <vector>

namespace viro {

// One patient's measurements as the recall window lists them, newest first: "Index", "Date",
// "Time", "Energy" (the mean of the 24 values, bold blue), "M.Age" (the patient's age at the
// measurement), "Potential" ("HI" bold red, "NRM" bold green), then the 24 point values ZE1 ...
// ZE24 under the meridian headers, the headers of the left side bold navy.
class MeasurementListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        IndexColumn,
        DateColumn,
        TimeColumn,
        EnergyColumn,
        AgeColumn,
        PotentialColumn,
        FirstPointColumn, // ZE1; ZEk is column FirstPointColumn + k - 1
        ColumnCount = FirstPointColumn + kPointCount
    };

    static const QColor kEnergyColour;
    static const QColor kHighColour;
    static const QColor kNormalColour;
    static const QColor kLeftHeaderColour;

    explicit MeasurementListModel(QObject* parent = nullptr);

    // The rows of one patient (as PatientStore::measurements gives them) and his birth date for
    // the ages (4000 or less: none).
    void setRows(std::vector<MeasurementSummary> rows, double birthDate);
    void clear();

    const MeasurementSummary& rowAt(int row) const { return rows_.at(size_t(row)); }
    // The row of the measurement with this key, -1 for none.
    int rowOfKey(int mkey) const;

    // A point value as the list shows it: one decimal at most, no leading zero, nothing for 0.
    static QString pointText(double value);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QString text(const MeasurementSummary& m, int row, int column) const;

    std::vector<MeasurementSummary> rows_;
    double birthDate_ = 0;
};

} // namespace viro
