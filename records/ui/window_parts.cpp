#include "records/ui/window_parts.h"

#include "analysis/jet_date.h"
#include "device/probe_control.h"

#include <QBoxLayout>
#include <QLocale>
#include <QPushButton>
#include <QStatusBar>
#include <QStatusTipEvent>

namespace viro {

void setHint(QWidget* widget, const QString& hint) {
    widget->setToolTip(hint);
    widget->setStatusTip(hint);
}

QPushButton* addToolButton(QBoxLayout* row, QWidget* parent, const char* name,
                           const QString& caption, const QString& hint) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    setHint(button, hint);
    button->setMinimumHeight(30);
    row->addWidget(button);
    return button;
}

bool showStatusTip(QEvent* event, QStatusBar* bar) {
    if (event->type() != QEvent::StatusTip)
        return false;
    const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
    if (tip.isEmpty())
        bar->clearMessage();
    else
        bar->showMessage(tip);
    return true;
}

void playSound(ProbeControl* probe, int effect) {
    if (probe)
        probe->soundEffect(effect);
}

QString countText(int count) {
    return QString::asprintf("%6.0d", count);
}

QString shortDateText(double jet) {
    return QLocale().toString(jetToDate(jet), QLocale::ShortFormat);
}

} // namespace viro
