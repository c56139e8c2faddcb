#include "app/forms/frm_select_profile.h"

#include "platform/ui/qt_ui_seam.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesper {

frmSelectProfile::frmSelectProfile(Program& program, QWidget* parent) : QDialog(parent), m_program(program) {
    setObjectName("frmSelectProfile");
    setWindowTitle("Select Encoder Profile");
    setModal(true);

    m_list = new QListWidget(this);
    m_list->setObjectName("lstProfiles");
    auto* selectButton = new QPushButton("&Select", this);
    selectButton->setObjectName("cmdSelect");
    selectButton->setDefault(true);
    auto* cancel = new QPushButton("&Cancel", this);
    cancel->setObjectName("cmdCancel");

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(selectButton);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addLayout(buttons);
    resize(420, 320);

    // The list up to its first empty entry; the saved profile is selected when
    // the list holds it exactly, else the first entry.
    int selected = -1;
    for (const auto& name : m_program.profileList) {
        if (name.empty()) break;
        m_list->addItem(QString::fromStdString(name));
        if (selected < 0 && !m_program.g_sAdvanceProfile.empty() && name == m_program.g_sAdvanceProfile)
            selected = m_list->count() - 1;
    }
    if (m_list->count() > 0) m_list->setCurrentRow(selected < 0 ? 0 : selected);

    connect(selectButton, &QPushButton::clicked, this, &frmSelectProfile::select);
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] { select(); });
    // Escape closes through QDialog::reject, without a change.
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmSelectProfile::select() {
    if (QListWidgetItem* item = m_list->currentItem()) {
        m_chosen = item->text().toStdString();
        m_program.g_sAdvanceProfile = *m_chosen;
        accept();
        return;
    }
    reject();
}

int frmSelectProfile::exec() {
    std::string contents;
    if (QListWidgetItem* item = m_list->currentItem()) contents = "lstProfiles: " + item->text().toStdString();
    if (auto answer = scriptedModal({"frmSelectProfile", windowTitle().toStdString(), contents, "Cancel"})) {
        if (*answer == "OK" || *answer == "Select") {
            select();
            return m_chosen ? QDialog::Accepted : QDialog::Rejected;
        }
        return QDialog::Rejected;
    }
    return QDialog::exec();
}

} // namespace vesper
