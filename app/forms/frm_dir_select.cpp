#include "app/forms/frm_dir_select.h"

#include "app/core/output_files.h"
#include "platform/ui/qt_ui_seam.h"

#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QStorageInfo>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace vesper {

frmDirSelect::frmDirSelect(const std::string& outputDir, QWidget* parent) : QDialog(parent) {
    setObjectName("frmDirSelect");
    setWindowTitle("Select Folder");
    setModal(true);

    m_drive = new QComboBox(this);
    m_drive->setObjectName("Drive1");
    // The "drives" are the mounted file systems the user can reach.
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        if (volume.isValid() && volume.isReady()) roots << volume.rootPath();
    roots.removeDuplicates();
    std::sort(roots.begin(), roots.end());
    m_drive->addItems(roots);

    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    m_model->setRootPath("/");
    m_dir = new QTreeView(this);
    m_dir->setObjectName("Dir1");
    m_dir->setModel(m_model);
    for (int c = 1; c < m_model->columnCount(); ++c)
        m_dir->hideColumn(c);
    m_dir->header()->hide();

    m_location = new QLineEdit(this);
    m_location->setObjectName("txtLocation");

    auto* okButton = new QPushButton("OK", this);
    okButton->setObjectName("cmdOK");
    okButton->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("cmdCancel");

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_drive);
    layout->addWidget(m_dir, 1);
    layout->addWidget(m_location);
    layout->addLayout(buttons);
    resize(420, 380);

    // Opening: the location is the main window's folder; the lists follow it
    // when it exists.
    m_location->setText(QString::fromStdString(outputDir));
    if (FolderExists(outputDir)) showFolder(outputDir);

    // The file system model reads folders in the background: once the
    // shown folder's own folder has been read, bring the folder into view.
    connect(m_model, &QFileSystemModel::directoryLoaded, this, [this](const QString& loaded) {
        if (QString::fromStdString(m_folder).startsWith(loaded)) m_dir->scrollTo(m_dir->currentIndex());
    });
    connect(m_location, &QLineEdit::textEdited, this, [this](const QString& t) { setLocation(t.toStdString()); });
    connect(m_dir, &QTreeView::clicked, this,
            [this](const QModelIndex& index) { setFolder(m_model->filePath(index).toStdString()); });
    connect(m_drive, &QComboBox::activated, this, [this](int i) { setDrive(m_drive->itemText(i).toStdString()); });
    connect(okButton, &QPushButton::clicked, this, &frmDirSelect::ok);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

std::string frmDirSelect::location() const { return m_location->text().toStdString(); }
std::string frmDirSelect::drive() const { return m_drive->currentText().toStdString(); }
std::string frmDirSelect::folder() const { return m_folder; }

void frmDirSelect::showFolder(const std::string& path) {
    m_folder = path;
    const QString qpath = QString::fromStdString(path);
    const QModelIndex index = m_model->index(qpath);
    if (index.isValid()) {
        // The folder list opens down to the folder, not at the top.
        for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
            m_dir->expand(parent);
        m_dir->setCurrentIndex(index);
        m_dir->scrollTo(index);
    }
    std::string root;
    if (GetRootPath(path, root)) {
        QString r = QString::fromStdString(root);
        if (r.size() > 1 && r.endsWith('/')) r.chop(1);
        int at = m_drive->findText(r);
        if (at < 0) {
            m_drive->addItem(r);
            at = m_drive->count() - 1;
        }
        m_drive->setCurrentIndex(at);
    }
}

void frmDirSelect::setLocation(const std::string& text) {
    if (m_location->text().toStdString() != text) m_location->setText(QString::fromStdString(text));
    if (FolderExists(text)) showFolder(text);
}

void frmDirSelect::setFolder(const std::string& path) {
    showFolder(path);
    m_location->setText(QString::fromStdString(path));
}

void frmDirSelect::setDrive(const std::string& root) {
    const QDir dir(QString::fromStdString(root));
    if (!dir.exists() || !dir.isReadable()) {
        // The folder list keeps its previous folder, and the drive list too.
        MsgBox(this, "Cannot read " + root + ": the drive is not ready or not accessible.", vbCritical, "Oops!");
        if (!m_folder.empty()) showFolder(m_folder);
        return;
    }
    showFolder(root);
    m_location->setText(QString::fromStdString(root));
}

void frmDirSelect::ok() {
    m_chosen = location();
    accept();
}

int frmDirSelect::exec() {
    if (auto answer =
            scriptedModal({"frmDirSelect", windowTitle().toStdString(), "txtLocation: " + location(), "Cancel"})) {
        if (*answer == "OK") {
            ok();
            return QDialog::Accepted;
        }
        return QDialog::Rejected;
    }
    return QDialog::exec();
}

} // namespace vesper
