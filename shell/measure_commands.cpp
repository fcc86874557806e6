#include "shell/measure_commands.h"

#include "analysis/jet_date.h"
#include "core/user_prompts.h"
#include "device/probe_link.h"
#include "measure/measurement_window.h"
#include "shell/log.h"
#include "shell/main_window.h"
#include "shell/record_commands.h"

#include <QFile>
#include <QLocale>
#include <QTimer>

namespace viro {

MeasureCommands::MeasureCommands(TZeForm& form, ProbeLink& probe, TickClock& clock,
                                 MeasurementJournal& journal, RecordCommands& records)
    : form_(form), probe_(probe), clock_(clock), journal_(journal), records_(records) {
    form_.setWindowFactory(Command::Measure, [this](TZeForm&) { return createWindow(); });
}

QDialog* MeasureCommands::createWindow() {
    TZedec::Services services;
    services.saveSettings = [this](QString* error) { return form_.saveSettings(error); };
    // A measurement saved, or replaced by one loaded, no longer needs its journal.
    services.openSave = [this](TZedec& w) {
        if (records_.openSave(&w))
            w.engine().discardJournal();
    };
    services.openRecall = [this](TZedec& w) {
        if (records_.openRecall(&w))
            w.engine().discardJournal();
    };
    services.openManual = [this](TZedec& w) { records_.openManualEntry(&w); };
    auto* window = new TZedec(probe_, clock_, form_.state(), form_.settings(), form_.dataFolder(),
                              &journal_, services, &form_);
    // A measurement taken but not saved yet survives a crash too.
    window->engine().setJournalKeptUntilSaved(true);
    if (pending_) {
        const JournalContents contents = std::move(*pending_);
        pending_.reset();
        QString error;
        if (!window->engine().restore(contents, &error)) {
            messageBox(kCautionOk, error);
        } else if (const int next = contents.nextPosition(); next > 0) {
            // The run goes on where it stopped, once the window is up.
            QTimer::singleShot(0, window, [window, next] { window->startRun(next); });
        }
    }
    return window;
}

QString MeasureCommands::restoreQuestion(const JournalContents& contents) {
    const JournalHeader& h = contents.header;
    QString text = QStringLiteral("A measurement was interrupted");
    if (h.started > 0)
        text += QStringLiteral(" (started %1)")
                    .arg(QLocale().toString(jetToDateTime(h.started), QLocale::ShortFormat));
    text += QStringLiteral(" with %1 of 24 points taken").arg(contents.pointsTaken());
    if (!h.custNo.isEmpty() || !h.patientName.isEmpty())
        text += QStringLiteral(", patient %1 %2").arg(h.custNo, h.patientName).trimmed();
    text += QLatin1Char('.');
    if (!contents.damage.isEmpty())
        text += QStringLiteral(" Its journal is damaged after that: %1.").arg(contents.damage);
    text += QStringLiteral("\r\nDo you want to restore the points taken?");
    return text;
}

void MeasureCommands::offerInterruptedRun() {
    const std::optional<JournalContents> contents = MeasurementJournal::read(journal_.path());
    if (!contents)
        return;
    QString error;
    if (contents->points.empty() && contents->damage.isEmpty()) {
        // Interrupted before its first point was complete: nothing was lost.
        if (!journal_.remove(&error))
            qCWarning(lcShell).noquote() << error;
        return;
    }
    if (contents->points.empty()) {
        qCWarning(lcShell).noquote() << "Interrupted measurement not restorable:" << contents->damage;
        // Kept aside for a fault report, out of the way of the next run.
        const QString aside = journal_.path() + QStringLiteral(".damaged");
        QFile::remove(aside);
        const bool moved = QFile::rename(journal_.path(), aside);
        if (!moved && !journal_.remove(&error))
            qCWarning(lcShell).noquote() << error;
        messageBox(kCautionOk,
                   QStringLiteral("A measurement was interrupted, but nothing of it can be "
                                  "restored: %1.")
                       .arg(contents->damage));
        return;
    }
    if (!messageBox(kInfoYesNo, restoreQuestion(*contents))) {
        if (!journal_.remove(&error)) {
            qCWarning(lcShell).noquote() << error;
            messageBox(kCautionOk, error);
        }
        return;
    }
    pending_ = *contents;
    form_.runCommand(Command::Measure);
}

} // namespace viro
