// The profile dialog: every encoder profile, to pick the one behind the
// "Advance ..." quality word.
#pragma once

#include "app/core/program.h"

#include <QDialog>

#include <optional>
#include <string>

class QListWidget;
class QPushButton;

namespace vesper {

class frmSelectProfile : public QDialog {
    Q_OBJECT
public:
    frmSelectProfile(Program& program, QWidget* parent);

    // The profile picked with cmdSelect (also set as program.g_sAdvanceProfile);
    // nullopt when the dialog was cancelled or nothing was selected. The caller
    // updates the combo and the label.
    std::optional<std::string> chosen() const { return m_chosen; }

    // Asks the modal seam first; a scripted "OK" (or "Select") picks the
    // selected entry as it stands.
    int exec() override;

    // cmdSelect and a double click in the list.
    void select();

private:
    Program& m_program;
    QListWidget* m_list = nullptr;
    std::optional<std::string> m_chosen;
};

} // namespace vesper
