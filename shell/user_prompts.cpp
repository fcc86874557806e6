#include "user_prompts.h"

#include "message_box.h"

#include <QApplication>

namespace viro {
namespace {

class DialogPrompts : public UserPrompts {
public:
    bool message(int type, const QString& text) override {
        return TZeMsag::ask(type, text, QApplication::activeWindow());
    }
};

UserPrompts* installed = nullptr;

} // namespace

UserPrompts& prompts() {
    static DialogPrompts dialogs;
    return installed ? *installed : dialogs;
}

void setPrompts(UserPrompts* p) { installed = p; }

} // namespace viro
