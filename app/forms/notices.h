// The notices that end a start-up (encoder missing, capture devices), the
// message for saved devices that fail, the loading window and the About box.
#pragma once

#include <QDialog>
#include <QWidget>

#include <string>

class QLabel;

namespace vesper {

// The encoder notice: how to install and register Vesper's own encoder
// components, whose libraries live in `componentFolder`.
std::string noticeWmeText(const std::string& componentFolder);
inline constexpr const char* kNoticeWmeCaption = "Vesper Home - Encoder Not Found";

class frmNoticeWME : public QDialog {
    Q_OBJECT
public:
    explicit frmNoticeWME(const std::string& text, QWidget* parent = nullptr);
};
// Modal (asking the test seam first).
void ShowNoticeWME(QWidget* parent);

// The settings file (registry hive) must be usable before the start-up reads
// it: when it is not, a message says which file, what is wrong and what to
// do (on standard error too), and the answer is false.
inline constexpr const char* kSettingsFileCaption = "Vesper Home - Settings File";
bool CheckSettingsFile(QWidget* parent);

// The devices notices by code ("n2", "n3", "n4"); empty for another code.
std::string deviceNoticeText(const std::string& code);
// The requirements page for the code: the product site + "/notice2.html", ...
std::string deviceNoticePage(const std::string& code);
inline constexpr const char* kNoticeDevicesCaption = "Vesper Home - Notice";

class frmNoticeDevices : public QDialog {
    Q_OBJECT
public:
    frmNoticeDevices(const std::string& code, QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::string m_code;
};
// Modal (asking the test seam first, with the code and text as contents).
void ShowNoticeDevices(QWidget* parent, const std::string& code);

// Opens the program folder's "Vesper.chm" when it is there (a failure is
// told over `owner`).
bool OpenHelpFile(QWidget* owner = nullptr);

// The message when the saved devices fail to come up (start-up goes on).
std::string deviceSettingsFailedMessage(const std::string& video, const std::string& audio);
void ShowDeviceSettingsFailed(QWidget* parent, const std::string& video, const std::string& audio);

// The loading window, shown while the start-up runs (not modal).
inline constexpr const char* kLoadingCaption = "Vesper Home Loading ...  ";
std::string loadingVersionText(); // "Version " + version
class frmLoading : public QWidget {
    Q_OBJECT
public:
    explicit frmLoading(QWidget* parent = nullptr);
};
// Shows it unless the test seam answers for it; nullptr then. The caller
// closes (deletes) it.
frmLoading* ShowLoading(QWidget* parent);

// The About box.
inline constexpr const char* kAboutCaption = "About Vesper Home";
std::string aboutText();
class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);
};
void ShowAbout(QWidget* parent);

} // namespace vesper
