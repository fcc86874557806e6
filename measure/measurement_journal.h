#pragma once

#include "analysis/measurement_record.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace viro {

// What a measurement run was about when it began: enough to put its points back under the same
// patient, potential and stored record after a crash.
struct JournalHeader {
    double started = 0;         // Jet date value of the run's start
    bool highPotential = false; // the potential the points were measured at
    int channel = 0;            // 0 hand probe, 1-4 electrode channels
    int key = 0;                // MKEY of the stored measurement measured over, 0 for none
    QString custNo;             // the current patient's number, empty for none
    QString patientName;

    friend bool operator==(const JournalHeader&, const JournalHeader&) = default;
};

// One completed point as the run stored it.
struct JournalPoint {
    int position = 0; // 1-24 in measuring order
    int point = 0;    // point index 1-24
    double value = 0; // µA
    double compensated = 0;
    double quality = 0;
    double dateTime = 0; // Jet date value of the point's completion
    int samples = 0;     // readings averaged
    PointTrace trace;

    friend bool operator==(const JournalPoint&, const JournalPoint&) = default;
};

// What a journal file holds: its header and the good points in the order they were taken. A
// point measured again (after a grid choice) appears once for each time it was taken; the later
// one is the point's value. A file damaged or cut short part-way gives the points before the
// damage and says what was wrong with the rest ("the journal is cut short after point 12": after
// the 12th point record). A file whose header is damaged, or that is empty, gives no points and
// an empty header: nothing in it can be put back under the right patient.
struct JournalContents {
    JournalHeader header;
    std::vector<JournalPoint> points;
    QString damage; // empty when every record of the file was whole

    // The position to go on at: the one after the last point taken, or 0 when that was 24.
    int nextPosition() const;
    // The measurement as far as the run got: each point's value, compensated value, quality,
    // samples and trace as last taken, the completion time of the last point, and the header's
    // potential and stored-record key.
    MeasurementRecord record() const;
    // How many different points were taken.
    int pointsTaken() const;
};

// The measurement in progress, kept on disk point by point so that a crash of the program or
// the machine loses at most the point being measured. One file in the data folder, appended to
// and synced after every point; removed when the run ends normally or its values are cleared
// or saved. Every write is checked: a point that could not be made durable is reported, never
// passed for kept, and a write that failed part-way is taken back.
//
// The file is text, one record a line: compact JSON, a tab, the CRC-32 of the JSON as 8 hex
// digits. The first line is the header ("format": "viro measurement journal", "version": 1, and
// the JournalHeader fields); each further line is one point, its trace a flat array of
// (ms, counts) pairs. A line without its newline or with a wrong checksum ends what is read.
class MeasurementJournal {
public:
    explicit MeasurementJournal(QString path);

    // The journal's file in `dataFolder`.
    static QString pathIn(const QString& dataFolder);

    const QString& path() const { return path_; }

    // Starts a new journal with `header`, replacing any earlier file at once (a temporary file,
    // synced, renamed over it).
    bool begin(const JournalHeader& header, QString* error);
    // Goes on appending to the journal that read() found (a resumed run); its damaged tail, if
    // any, is cut off first so new points follow the good ones. A file that no longer starts
    // with `contents` (removed or changed since) is written anew from them.
    bool resume(const JournalContents& contents, QString* error);
    // Appends one point and syncs it to the disk before returning true.
    bool append(const JournalPoint& point, QString* error);
    // Removes the file; true when it is gone (or was never there).
    bool remove(QString* error);

    // Reads the journal at `path`; nothing when there is none. Never throws or crashes on a
    // damaged file.
    static std::optional<JournalContents> read(const QString& path);

private:
    // Writes `data` as the whole file: a temporary, synced, renamed over the journal.
    bool writeWhole(const QByteArray& data, QString* error);

    QString path_;
    bool open_ = false; // begun or resumed, and no write since has left a torn record
};

} // namespace viro
