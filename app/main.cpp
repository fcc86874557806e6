#include "main_window.h"
#include "user_prompts.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tarvel Ze-Professional");
    QApplication::setApplicationDisplayName("Tarvel Ze-Professional");
    QApplication::setOrganizationName("Tarvel");
    // Closing the main window ends the program even while the tray icon is shown.
    QApplication::setQuitOnLastWindowClosed(true);

    viro::TZeForm form(viro::TZeForm::Services{});
    QString error;
    if (!form.initialise(&error)) {
        viro::messageBox(viro::kImportantOk, error);
        return 1;
    }
    form.show();
    return app.exec();
}
