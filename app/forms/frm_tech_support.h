// The Tech Support Helper window: switches for the status log, views of the
// log files, the diagnostics profile and the support e-mail.
#pragma once

#include "app/core/diagnostics.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;

namespace vesper {

class frmTechSupport : public QDialog {
    Q_OBJECT
public:
    // `devices` enumerates the capture devices and probes for a working pair
    // when the profile is created (it opens the devices).
    explicit frmTechSupport(std::function<DeviceQuery()> devices, QWidget* parent = nullptr);

    TechSupportModel& model() { return m_model; }
    // Refreshes the check boxes and view labels from the model.
    void refresh();

protected:
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateCardModelButton();

    std::function<DeviceQuery()> m_devices;
    TechSupportModel m_model;
    QLabel* m_email = nullptr;
    QLabel* m_createProfile = nullptr;
    QCheckBox* m_chkLogStatus = nullptr;
    QLabel* m_viewLogStatus = nullptr;
    QCheckBox* m_chkAppInit = nullptr;
    QLabel* m_viewAppInit = nullptr;
    QPushButton* m_cardModel = nullptr;
};

// Shows the window modally (asking the test seam first). With a scripted
// answer the window is not shown and its switches are written back as they
// were read.
void ShowTechSupport(QWidget* parent, std::function<DeviceQuery()> devices);

} // namespace vesper
