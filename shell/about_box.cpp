#include "shell/about_box.h"

#include "core/builtin_texts.h"
#include "core/version.h"
#include "device/probe_control.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace viro {

namespace {

QLabel* addLabel(QVBoxLayout* layout, const char* name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    layout->addWidget(label);
    return label;
}

} // namespace

QString formatUsageCounter(int counter, const QLocale& locale) {
    // Grouped by hand: some locales (C among them) leave the separators out by default.
    const QString digits = QString::number(qAbs(counter));
    QString grouped;
    for (int i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            grouped += locale.groupSeparator();
        grouped += digits[i];
    }
    if (counter < 0)
        grouped.prepend(locale.negativeSign());
    return QStringLiteral("[ ") + grouped.rightJustified(8, QLatin1Char(' ')) +
           QStringLiteral(" ]");
}

TAboutBox::TAboutBox(ProbeControl* probe, std::function<void()> openWeb, QWidget* parent)
    : QDialog(parent), probe_(probe), openWeb_(std::move(openWeb)) {
    setObjectName("TAboutBox");
    setWindowTitle("About");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* layout = new QVBoxLayout(this);
    QLabel* product =
        addLabel(layout, "ProductName", builtin::productName() + " Professional", this);
    QFont productFont = product->font();
    productFont.setPointSize(productFont.pointSize() + 8);
    productFont.setBold(true);
    product->setFont(productFont);
    addLabel(layout, "ProductTitle", builtin::productTitle(), this);
    addLabel(layout, "Version", QStringLiteral("ZE-Professional Ver: %1 e").arg(VIRO_VERSION), this);
    addLabel(layout, "Platforms", "For: Windows 7,Windows 10,Windows 11 ", this);
    addLabel(layout, "Language", "International English Version", this);
    layout->addSpacing(8);
    addLabel(layout, "Maker", builtin::makerName(), this);
    QLabel* web = addLabel(layout, "WebLabel", QString(), this);
    web->setTextFormat(Qt::RichText);
    web->setText(QStringLiteral("<a href=\"web\">%1</a>")
                     .arg(("URL: " + builtin::webAddress()).toHtmlEscaped()));
    web->setCursor(Qt::PointingHandCursor);
    connect(web, &QLabel::linkActivated, this, [this] {
        if (openWeb_)
            openWeb_();
    });
    layout->addSpacing(8);

    auto* probeGrid = new QGridLayout;
    const char* captions[] = {"Device SerialNo:", "Hardware Version:", "Measurement Counter:"};
    const char* names[] = {"SerialNo", "HardwareVersion", "MeasurementCounter"};
    QLabel* values[3];
    for (int row = 0; row < 3; ++row) {
        probeGrid->addWidget(new QLabel(captions[row], this), row, 0);
        values[row] = new QLabel(this);
        values[row]->setObjectName(names[row]);
        values[row]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        probeGrid->addWidget(values[row], row, 1);
    }
    serial_ = values[0];
    hardware_ = values[1];
    counter_ = values[2];
    QFont fixed = counter_->font();
    fixed.setFamily("Monospace");
    fixed.setStyleHint(QFont::TypeWriter);
    counter_->setFont(fixed);
    layout->addLayout(probeGrid);

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("OKButton");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    layout->addLayout(buttons);

    refreshProbe();
}

void TAboutBox::refreshProbe() {
    if (!probe_ || !probe_->isOnline()) {
        // Nothing can be read without a probe; say so rather than show blanks.
        serial_->setText("None!");
        hardware_->setText("None!");
        counter_->setText("[ - ]");
        return;
    }
    serial_->setText(probe_->serialNumber());
    const QString hardware = probe_->hardwareVersion().trimmed();
    hardware_->setText(hardware.isEmpty() ? QStringLiteral("Unknown") : hardware);
    counter_->setText(formatUsageCounter(probe_->readUsageCounter()));
}

QString TAboutBox::serialText() const {
    return serial_->text();
}
QString TAboutBox::hardwareText() const {
    return hardware_->text();
}
QString TAboutBox::counterText() const {
    return counter_->text();
}

void TAboutBox::done(int r) {
    // Fades out; a second close during the fade closes at once, and the fade then ends
    // without closing again.
    if (fade_.active() || !isVisible()) {
        fade_.stop();
        QDialog::done(r);
        setWindowOpacity(1.0);
        return;
    }
    fade_.start(this, kFadeMs, [this, r] {
        QDialog::done(r);
        setWindowOpacity(1.0);
    });
}

} // namespace viro
