#include "control/interface/PropertyPage.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "control/link/RangeList.h"

namespace brimlink::control {
namespace {

PropertyTarget* g_currentTarget = nullptr;

QString NormalisedText(const QLineEdit* edit) {
    return QString::fromStdString(link::NormaliseRangeList(edit->text().toStdString()));
}

}  // namespace

void SetCurrentPropertyTarget(PropertyTarget* target) { g_currentTarget = target; }

void ClearCurrentPropertyTarget(const PropertyTarget* target) {
    if (g_currentTarget == target) g_currentTarget = nullptr;
}

PropertyTarget* CurrentPropertyTarget() { return g_currentTarget; }

CBrimlinkPropPage::CBrimlinkPropPage(QWidget* parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("General"));

    usb_ = new QCheckBox(QStringLiteral("USB"), this);
    usb_->setObjectName(QStringLiteral("usb211"));
    com_ = new QCheckBox(QStringLiteral("COM"), this);
    com_->setObjectName(QStringLiteral("com212"));
    search_ = new QLineEdit(this);
    search_->setObjectName(QStringLiteral("search213"));
    exclude_ = new QLineEdit(this);
    exclude_->setObjectName(QStringLiteral("exclude217"));
    showAtStartup_ = new QCheckBox(QStringLiteral("Show Debug Window at startup"), this);
    showAtStartup_->setObjectName(QStringLiteral("showAtStartup214"));

    auto* searchGroup = new QGroupBox(QStringLiteral("Search"), this);
    auto* searchLayout = new QGridLayout(searchGroup);
    searchLayout->addWidget(usb_, 0, 0);
    searchLayout->addWidget(com_, 1, 0);
    searchLayout->addWidget(search_, 1, 1);
    searchLayout->setColumnStretch(1, 1);

    auto* excludeGroup = new QGroupBox(QStringLiteral("Exclude"), this);
    auto* excludeLayout = new QHBoxLayout(excludeGroup);
    auto* excludeLabel = new QLabel(QStringLiteral("COM"), excludeGroup);
    excludeLabel->setBuddy(exclude_);
    // The two list fields line up under each other.
    excludeLabel->setMinimumWidth(com_->sizeHint().width());
    excludeLayout->addWidget(excludeLabel);
    excludeLayout->addWidget(exclude_, 1);

    auto* explanation = new QLabel(
        QStringLiteral("Assign here, which serial ports should be searched for connected Brimlink modules and "
                       "which ports should be excluded from the search. Enter the serial port numbers and/or "
                       "ranges, separated by commas, e.g. 1-4, 12, 14."),
        this);
    explanation->setWordWrap(true);
    explanation->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* groups = new QVBoxLayout;
    groups->addWidget(searchGroup);
    groups->addWidget(excludeGroup);
    groups->addStretch(1);

    auto* layout = new QGridLayout(this);
    layout->addLayout(groups, 0, 0);
    layout->addWidget(explanation, 0, 1);
    layout->addWidget(showAtStartup_, 1, 0, 1, 2);
    layout->setColumnStretch(0, 3);
    layout->setColumnStretch(1, 2);
    layout->setRowStretch(2, 1);

    // Only what the user does marks the page; Load sets the fields silently.
    for (QCheckBox* box : {usb_, com_, showAtStartup_})
        connect(box, &QCheckBox::clicked, this, [this] { SetModified(true); });
    for (QLineEdit* edit : {search_, exclude_})
        connect(edit, &QLineEdit::textEdited, this, [this] { SetModified(true); });
    connect(com_, &QCheckBox::clicked, this, [this] { UpdateListEnabling(); });

    UpdateListEnabling();
    Load();
}

void CBrimlinkPropPage::Load() {
    const PropertyTarget* target = CurrentPropertyTarget();
    if (target == nullptr) return;
    const link::PortSettings settings = target->CurrentPortSettings();
    usb_->setChecked(settings.useUsb != 0);
    com_->setChecked(settings.useSerial != 0);
    search_->setText(QString::fromStdString(settings.searchCom));
    exclude_->setText(QString::fromStdString(settings.excludeCom));
    showAtStartup_->setChecked(settings.showAtStartup != 0);
    UpdateListEnabling();
    SetModified(false);
}

void CBrimlinkPropPage::Save() {
    search_->setText(NormalisedText(search_));
    exclude_->setText(NormalisedText(exclude_));
    if (PropertyTarget* target = CurrentPropertyTarget()) {
        link::PortSettings settings;
        settings.useUsb = usb_->isChecked() ? 1 : 0;
        settings.useSerial = com_->isChecked() ? 1 : 0;
        settings.searchCom = search_->text().toStdString();
        settings.excludeCom = exclude_->text().toStdString();
        settings.showAtStartup = showAtStartup_->isChecked() ? 1 : 0;
        target->StorePortSettings(settings);
    }
    SetModified(false);
}

void CBrimlinkPropPage::SetModified(bool modified) {
    if (modified_ == modified) return;
    modified_ = modified;
    emit modifiedChanged(modified);
}

void CBrimlinkPropPage::UpdateListEnabling() {
    const bool enabled = com_->isChecked();
    search_->setEnabled(enabled);
    exclude_->setEnabled(enabled);
}

void ShowPropertyFrame(QWidget* owner) {
    QDialog frame(owner);
    frame.setWindowTitle(QStringLiteral("Brimlink Properties"));

    auto* tabs = new QTabWidget(&frame);
    auto* page = new CBrimlinkPropPage(tabs);
    tabs->addTab(page, page->windowTitle());

    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, &frame);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel);
    QPushButton* apply = buttons->button(QDialogButtonBox::Apply);
    ok->setObjectName(QStringLiteral("ok"));
    cancel->setObjectName(QStringLiteral("cancel"));
    apply->setObjectName(QStringLiteral("apply"));

    apply->setEnabled(page->IsModified());
    QObject::connect(page, &CBrimlinkPropPage::modifiedChanged, apply, &QPushButton::setEnabled);
    QObject::connect(apply, &QPushButton::clicked, page, &CBrimlinkPropPage::Save);
    // OK applies only a changed page, so that opening and closing the frame
    // leaves the control unmodified.
    QObject::connect(ok, &QPushButton::clicked, &frame, [&frame, page] {
        if (page->IsModified()) page->Save();
        frame.accept();
    });
    QObject::connect(cancel, &QPushButton::clicked, &frame, &QDialog::reject);

    auto* layout = new QVBoxLayout(&frame);
    layout->addWidget(tabs);
    layout->addWidget(buttons);

    frame.exec();
}

}  // namespace brimlink::control
