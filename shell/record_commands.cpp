#include "shell/record_commands.h"

#include "measure/manual_entry_window.h"
#include "measure/measurement_journal.h"
#include "records/patient_store.h"
#include "records/ui/recall_window.h"
#include "records/ui/save_window.h"
#include "shell/log.h"
#include "shell/main_window.h"

#include <memory>

namespace viro {

RecordCommands::RecordCommands(TZeForm& form, MeasurementJournal& journal)
    : form_(form), journal_(journal) {
    form_.setWindowFactory(Command::Recall,
                           [this](TZeForm& f) -> QDialog* { return createRecallWindow(&f); });
}

void RecordCommands::discardJournal() {
    QString error;
    if (!journal_.remove(&error))
        qCWarning(lcShell).noquote() << error;
}

QDialog* RecordCommands::createRecallWindow(QWidget* parent) {
    TZeread::Services services;
    services.openManualEntry = [this](int mode, const QString& custNo, int mkey) {
        return openStoredManualEntry(mode, custNo, mkey, nullptr);
    };
    auto* window = new TZeread(form_.connections().main.database(), form_.state(),
                               form_.settings(), form_.probe(), services, parent);
    // The measurement loaded takes the place of the one the journal kept.
    QObject::connect(window, &QDialog::finished, window, [this, window] {
        if (window->loadedKey() > 0)
            discardJournal();
    });
    return window;
}

bool RecordCommands::openSave(QWidget* parent) {
    TZesave window(form_.connections().main.database(), form_.state(), form_.probe(), parent);
    bool saved = false;
    QObject::connect(&window, &TZesave::measurementSaved, &window, [this, &saved] {
        saved = true;
        discardJournal();
    });
    window.exec();
    return saved;
}

bool RecordCommands::openRecall(QWidget* parent) {
    form_.state().recallFromMainWindow = false;
    std::unique_ptr<QDialog> window(createRecallWindow(parent));
    window->exec();
    return static_cast<TZeread*>(window.get())->loadedKey() > 0;
}

void RecordCommands::openManualEntry(QWidget* parent) {
    TZemnu window(ManualEntryMode::EditCurrent, form_.state(), form_.settings(), nullptr, 0, {},
                  parent);
    window.exec();
}

int RecordCommands::openStoredManualEntry(int mode, const QString& custNo, int mkey,
                                          QWidget* parent) {
    PatientStore store(form_.connections().main.database());
    const ManualEntryMode m =
        mode == TZeread::kManualEdit ? ManualEntryMode::ModifyStored : ManualEntryMode::AddStored;
    TZemnu window(m, form_.state(), form_.settings(), &store, mkey, custNo, parent);
    window.exec();
    return window.savedKey();
}

} // namespace viro
