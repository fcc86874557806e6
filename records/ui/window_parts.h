#pragma once

#include <QString>

class QBoxLayout;
class QEvent;
class QPushButton;
class QStatusBar;
class QWidget;

namespace viro {

class ProbeControl;

// Pieces the record windows share.

// The hint of a control, shown as its tool tip and in the window's status bar.
void setHint(QWidget* widget, const QString& hint);
// A tool bar button with its caption and hint, added to `row`.
QPushButton* addToolButton(QBoxLayout* row, QWidget* parent, const char* name,
                           const QString& caption, const QString& hint);
// Shows a control's hint in `bar` (the window's own status bar, not the main window's); true
// when `event` was one.
bool showStatusTip(QEvent* event, QStatusBar* bar);
// Plays one of the probe's sound effects; nothing without a probe.
void playSound(ProbeControl* probe, int effect);
// A count as the record windows show it, "%6.0d" (0 shows as blanks only).
QString countText(int count);
// A date as the windows show it, in the short date format.
QString shortDateText(double jet);

} // namespace viro
