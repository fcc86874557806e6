#include "records/ui/measurement_list_model.h"

#include "analysis/jet_date.h"

#include <QFont>
#include <QLocale>
#include <QRegularExpression>

#include <cmath>

namespace viro {

const QColor MeasurementListModel::kEnergyColour(0, 0, 255);
const QColor MeasurementListModel::kHighColour(255, 0, 0);
const QColor MeasurementListModel::kNormalColour(0, 128, 0);
const QColor MeasurementListModel::kLeftHeaderColour(0, 0, 128);

namespace {

constexpr double kNoDate = 4000;

const char* const kHeaders[MeasurementListModel::ColumnCount] = {
    "Index", "Date", "Time", "Energy", "M.Age", "Potential", "L-LU", "PC", "HT",   "SI",
    "TE",    "LI",   "R-LU", "PC",     "HT",    "SI",        "TE",   "LI", "L-SP", "LR",
    "KI",    "BL",   "GB",   "ST",     "R-SP",  "LR",        "KI",   "BL", "GB",   "ST",
};

bool isLeftColumn(int column) {
    const int point = column - MeasurementListModel::FirstPointColumn + 1;
    return point >= 1 && point <= kPointCount && isLeftPoint(point);
}

QFont boldFont() {
    QFont font;
    font.setBold(true);
    return font;
}

// The long time of the locale without its time zone, as a clock on the wall shows it.
QString timeText(double jet) {
    QString format = QLocale().timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(QStringLiteral("\\s*\\bt+\\b")));
    return QLocale().toString(jetToDateTime(jet).time(), format.trimmed());
}

} // namespace

MeasurementListModel::MeasurementListModel(QObject* parent) : QAbstractTableModel(parent) {}

void MeasurementListModel::setRows(std::vector<MeasurementSummary> rows, double birthDate) {
    beginResetModel();
    rows_ = std::move(rows);
    birthDate_ = birthDate;
    endResetModel();
}

void MeasurementListModel::clear() {
    setRows({}, 0);
}

int MeasurementListModel::rowOfKey(int mkey) const {
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].mkey == mkey)
            return int(i);
    return -1;
}

QString MeasurementListModel::pointText(double value) {
    // Rounded half away from zero as a decimal display format does; "12.0" shows as "12" and
    // "0.5" as ".5".
    const double tenths = std::round(value * 10);
    if (tenths == 0)
        return {};
    QString text = QString::asprintf("%.1f", tenths / 10);
    if (text.endsWith(QLatin1String(".0")))
        text.chop(2);
    if (text.startsWith(QLatin1String("0.")))
        text.remove(0, 1);
    else if (text.startsWith(QLatin1String("-0.")))
        text.remove(1, 1);
    return text;
}

int MeasurementListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int MeasurementListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString MeasurementListModel::text(const MeasurementSummary& m, int row, int column) const {
    switch (column) {
    case IndexColumn:
        return QString::number(row + 1);
    case DateColumn:
        return QLocale().toString(jetToDate(m.zeDate), QLocale::ShortFormat);
    case TimeColumn:
        return timeText(m.zeDate);
    case EnergyColumn:
        return QString::asprintf("%3.1f", m.average);
    case AgeColumn:
        return birthDate_ > kNoDate ? QString::asprintf("%3.1f", (m.zeDate - birthDate_) / 365)
                                    : QString();
    case PotentialColumn:
        return m.highPotential ? QStringLiteral("HI") : QStringLiteral("NRM");
    default:
        return pointText(m.values[size_t(column - FirstPointColumn)]);
    }
}

QVariant MeasurementListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const MeasurementSummary& m = rows_[size_t(index.row())];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return text(m, index.row(), column);
    case Qt::ForegroundRole:
        if (column == EnergyColumn)
            return kEnergyColour;
        if (column == PotentialColumn)
            return m.highPotential ? kHighColour : kNormalColour;
        return {};
    case Qt::FontRole:
        if (column == EnergyColumn || column == PotentialColumn)
            return boldFont();
        return {};
    case Qt::TextAlignmentRole:
        if (column == DateColumn || column == TimeColumn)
            return int(Qt::AlignLeft | Qt::AlignVCenter);
        if (column == PotentialColumn)
            return int(Qt::AlignCenter);
        return int(Qt::AlignRight | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant MeasurementListModel::headerData(int section, Qt::Orientation orientation,
                                          int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromLatin1(kHeaders[section]);
    case Qt::ForegroundRole:
        return isLeftColumn(section) ? QVariant(kLeftHeaderColour) : QVariant();
    case Qt::FontRole:
        return isLeftColumn(section) ? QVariant(boldFont()) : QVariant();
    default:
        return {};
    }
}

} // namespace viro
