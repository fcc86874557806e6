#include "measure/manual_entry.h"

#include "analysis/jet_date.h"
#include "records/schema.h"

#include <QDateTime>

#include <cmath>

namespace viro {

namespace {

constexpr double kEmptyAtOrBelow = 0.09;
constexpr double kLowest = 0.1;
constexpr double kHighest = 200.0;
constexpr int kValueColumns = 12;

} // namespace

ManualEntryTexts manualEntryTexts(ManualEntryMode mode) {
    if (mode == ManualEntryMode::ModifyStored)
        return {QStringLiteral("Modify Meridian Energy Value"),
                QStringLiteral("Modify meridian energy values"),
                QStringLiteral("Modify the original data. Please input value between 0.1 - "
                               "200.0. Value outside of the range will be invalid.")};
    return {QStringLiteral("Enter New Meridian Energy Value"),
            QStringLiteral("Manual entry of meridian energy values"),
            QStringLiteral("Add new meridian energy data. Please input value between 0.1 - "
                           "200.0. Value outside of the range will be invalid.")};
}

bool isEntryCharacter(QChar c) {
    return (c >= u'0' && c <= u'9') || c == u'.' || c == u'-' || c == u',';
}

std::optional<QString> entryText(const QString& text) {
    QString out = text;
    for (QChar& c : out) {
        if (!isEntryCharacter(c))
            return std::nullopt;
        if (c == u',')
            c = u'.';
    }
    return out;
}

std::optional<double> parseEntryNumber(const QString& text) {
    const QString s = text.trimmed();
    int i = 0;
    if (i < s.size() && s[i] == u'-')
        ++i;
    int digits = 0;
    bool point = false;
    for (; i < s.size(); ++i) {
        if (s[i] >= u'0' && s[i] <= u'9') {
            ++digits;
        } else if (s[i] == u'.' && !point) {
            point = true;
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0)
        return std::nullopt;
    bool ok = false;
    const double v = s.toDouble(&ok);
    return ok && std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
}

EntryCell enteredCell(const QString& text) {
    if (text.trimmed().isEmpty())
        return {};
    const std::optional<double> v = parseEntryNumber(text);
    if (!v)
        return {EntryCell::State::NotANumber, 0, text};
    if (*v <= kEmptyAtOrBelow)
        return {};
    const QString shown = QString::asprintf("%5.1f", std::min(*v, kHighest)).trimmed();
    // What is stored is what the operator sees.
    return {EntryCell::State::Value, shown.toDouble(), shown};
}

EntryCell heldCell(double value) {
    if (!(value > kEmptyAtOrBelow))
        return {};
    const double held = std::clamp(value, kLowest, kHighest);
    return {EntryCell::State::Value, held, QString::asprintf("%3.1f", held)};
}

EntryGridCell cellAfterEnter(EntryGridCell from) {
    if (from.column < kValueColumns)
        return {from.row, from.column + 1};
    if (from.row == 1)
        return {2, 1};
    return from;
}

QString entryCellName(const MeasuringSequence& sequence, int position) {
    const int point = sequence.position[size_t(position - 1)];
    const QString side = isLeftPoint(point) ? QStringLiteral("Left") : QStringLiteral("Right");
    return side + u' ' + meridian(sequence.meridianOfPosition[size_t(position - 1)]).code;
}

QString notANumberMessage(const QString& cellName, const QString& text) {
    return QStringLiteral("%1: \"%2\" is not a number. The value must lie between 0.1 and 200.0.")
        .arg(cellName, text);
}

EntryDate initialEntryDate(ManualEntryMode mode, double stored, double now) {
    switch (mode) {
    case ManualEntryMode::ModifyStored:
        return isDate(stored) ? EntryDate{true, stored} : EntryDate{false, now};
    case ManualEntryMode::AddStored:
        return {true, now};
    case ManualEntryMode::EditCurrent:
        return {true, isDate(stored) ? stored : now};
    }
    return {true, now};
}

double enteredDate(bool dated, const QDate& date, const QTime& time) {
    if (!dated || !date.isValid())
        return kNoDate;
    const QTime t = time.isValid() ? QTime(time.hour(), time.minute(), time.second()) : QTime(0, 0);
    return jetFromDate(date) + t.msecsSinceStartOfDay() / 86400000.0;
}

ManualEntrySheet::ManualEntrySheet(const MeasuringSequence& sequence) : sequence_(sequence) {}

void ManualEntrySheet::load(const std::array<double, kPointCount>& values) {
    loaded_ = values;
    for (int p = 1; p <= kPointCount; ++p)
        cells_[size_t(p - 1)] = heldCell(values[size_t(sequence_.position[size_t(p - 1)] - 1)]);
}

void ManualEntrySheet::clear() {
    cells_.fill(EntryCell{});
}

const EntryCell& ManualEntrySheet::leave(int position, const QString& text) {
    EntryCell& c = cells_.at(size_t(position - 1));
    if (text != c.text)
        c = enteredCell(text);
    return c;
}

const EntryCell& ManualEntrySheet::cell(int position) const {
    return cells_.at(size_t(position - 1));
}

bool ManualEntrySheet::anyValue() const {
    for (const EntryCell& c : cells_)
        if (c.state == EntryCell::State::Value)
            return true;
    return false;
}

std::optional<int> ManualEntrySheet::firstWrong() const {
    for (int p = 1; p <= kPointCount; ++p)
        if (cells_[size_t(p - 1)].state == EntryCell::State::NotANumber)
            return p;
    return std::nullopt;
}

std::array<double, kPointCount> ManualEntrySheet::values() const {
    std::array<double, kPointCount> out{};
    for (int p = 1; p <= kPointCount; ++p)
        out[size_t(sequence_.position[size_t(p - 1)] - 1)] = cells_[size_t(p - 1)].value;
    return out;
}

bool ManualEntrySheet::changed(int point) const {
    return values()[size_t(point - 1)] != loaded_[size_t(point - 1)];
}

} // namespace viro
