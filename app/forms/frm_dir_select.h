// The folder dialog for the output folder: a drive (mount point) list, a
// folder list and the location text.
#pragma once

#include <QDialog>

#include <optional>
#include <string>

class QComboBox;
class QFileSystemModel;
class QLineEdit;
class QTreeView;

namespace vesper {

class frmDirSelect : public QDialog {
    Q_OBJECT
public:
    frmDirSelect(const std::string& outputDir, QWidget* parent);

    // The location text when OK was pressed (not checked here: the main
    // window's rules apply); nullopt when cancelled.
    std::optional<std::string> chosen() const { return m_chosen; }

    // Asks the modal seam first; a scripted "OK" takes txtLocation as it stands.
    int exec() override;

    // The controls' rules, public so that tests drive them.
    void setLocation(const std::string& text); // txtLocation change
    void setDrive(const std::string& root);    // Drive1 change
    void setFolder(const std::string& path);   // Dir1 change
    std::string location() const;
    std::string drive() const;
    std::string folder() const;
    void ok();

private:
    void showFolder(const std::string& path);

    QComboBox* m_drive = nullptr;
    QTreeView* m_dir = nullptr;
    QFileSystemModel* m_model = nullptr;
    QLineEdit* m_location = nullptr;
    std::string m_folder;
    std::optional<std::string> m_chosen;
};

} // namespace vesper
