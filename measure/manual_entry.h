#pragma once

#include "analysis/meridian_model.h"

#include <QChar>
#include <QDate>
#include <QString>
#include <QTime>

#include <array>
#include <optional>

namespace viro {

// What the manual entry window works on.
enum class ManualEntryMode {
    ModifyStored = 1, // a stored measurement, changed in place
    AddStored = 2,    // a new stored measurement of a patient
    EditCurrent = 3,  // the measurement in the measurement window
};

struct ManualEntryTexts {
    QString caption; // the window's title bar
    QString title;   // the heading above the grid
    QString status;  // the status bar
};
ManualEntryTexts manualEntryTexts(ManualEntryMode mode);

// Characters a value cell takes: digits, '.' and '-'. A ',' (the decimal key of the number pad
// in many locales) counts as '.'. Everything else is dropped as it is typed or pasted.
bool isEntryCharacter(QChar c);
// `text` with ',' turned into '.'; nothing when it holds any character a cell does not take.
std::optional<QString> entryText(const QString& text);

// A decimal number as typed: an optional '-', digits with at most one '.', at least one digit;
// blanks around it are ignored. Nothing for anything else ("1.2.3", "-", "1e5").
std::optional<double> parseEntryNumber(const QString& text);

// One value cell after it was left.
struct EntryCell {
    enum class State {
        Empty,      // no value (shown empty, stored as 0)
        Value,      // a value from 0.1 to 200.0
        NotANumber, // the text is kept as typed; nothing can be stored while it stands
    };
    State state = State::Empty;
    double value = 0; // what is stored for the cell
    QString text;     // what the cell shows

    friend bool operator==(const EntryCell&, const EntryCell&) = default;
};
// The cell a typed text gives: empty for empty text and for 0.09 or less, 200.0 for anything
// above 200, otherwise the number to one decimal ("%5.1f", shown without its padding), and the
// stored value is the one shown.
EntryCell enteredCell(const QString& text);
// The cell a value already held gives: empty for 0.09 or less, otherwise "%3.1f"; the value is
// kept as it is, only held to 0.1-200.0, so that a cell left as it was stores what it held.
EntryCell heldCell(double value);

// The cell Enter moves to from a value cell (row 1-2, column 1-12 of the 3 x 13 grid): the next
// column, from the end of the first row to the start of the second; the last cell stays.
struct EntryGridCell {
    int row = 1;
    int column = 1;
    friend bool operator==(const EntryGridCell&, const EntryGridCell&) = default;
};
EntryGridCell cellAfterEnter(EntryGridCell from);

// The name of the cell of a position in the status bar: side and meridian ("Left LU").
QString entryCellName(const MeasuringSequence& sequence, int position);
// The status bar text for a cell whose text is no number.
QString notANumberMessage(const QString& cellName, const QString& text);

// The check box and the pickers when the window shows, from the measurement's date (Jet value).
struct EntryDate {
    bool dated = true; // the check box, which enables both pickers
    double shown = 0;  // what the pickers show
};
EntryDate initialEntryDate(ManualEntryMode mode, double stored, double now);
// The date stored: the day of the date picker at the time of the time picker (to the second),
// or 0 without the check box.
double enteredDate(bool dated, const QDate& date, const QTime& time);

// The 24 value cells of the window by position (measuring order), with the values the window
// was opened with, so that it can tell which points the operator changed.
class ManualEntrySheet {
public:
    explicit ManualEntrySheet(const MeasuringSequence& sequence);

    // The values by point index (0-based by point - 1), as the window opens.
    void load(const std::array<double, kPointCount>& values);
    // All cells empty. The values loaded stay what the changes are measured against.
    void clear();

    // The text left in the cell of `position` (1-24). A text equal to what the cell shows leaves
    // the cell as it is, so a held value keeps all its digits.
    const EntryCell& leave(int position, const QString& text);
    const EntryCell& cell(int position) const;

    bool anyValue() const;
    // The first position (1-24) whose text is no number.
    std::optional<int> firstWrong() const;

    // What the cells hold, by point index; 0 for empty cells. Only meaningful without wrong cells.
    std::array<double, kPointCount> values() const;
    // Whether the value of `point` (1-24) differs from the one loaded.
    bool changed(int point) const;

    const MeasuringSequence& sequence() const { return sequence_; }

private:
    MeasuringSequence sequence_;
    std::array<EntryCell, kPointCount> cells_{}; // by position - 1
    std::array<double, kPointCount> loaded_{};   // by point - 1
};

} // namespace viro
