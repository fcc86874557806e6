#pragma once

#include <QString>

namespace viro {

// Box types of the program's own message box.
enum MessageType {
    kInfoYesNo = 1,      // "Information", YES / NO
    kCautionYesNo = 2,   // "Caution", YES / NO
    kImportantYesNo = 3, // "Important", YES / NO
    kInfoOk = 4,         // "Information", OK
    kCautionOk = 5,      // "Caution", OK
    kImportantOk = 6,    // "Important", OK
};

// Every question to the user goes through this seam, so tests can answer and record them.
class UserPrompts {
public:
    virtual ~UserPrompts() = default;
    // Shows the message box of `type` (1 to 6) with `text`; true for YES or OK.
    virtual bool message(int type, const QString& text) = 0;
};

// The prompts in use: those a test installed, else the defaults (the program's message box once
// the GUI registered it), else none, and every question is answered with NO.
UserPrompts& prompts();
// Installs `p` (not owned) in place of the defaults, or the defaults again when null.
void setPrompts(UserPrompts* p);
// Registers the program's own prompts (not owned); the GUI does this at start.
void setDefaultPrompts(UserPrompts* p);

// Shorthand for prompts().message(type, text).
inline bool messageBox(int type, const QString& text) { return prompts().message(type, text); }

} // namespace viro
