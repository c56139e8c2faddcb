// frmGuidelink: the window in which the user switches the "Add to Vesper
// Schedule" link menu entry on or off.
#pragma once

#include "platform/product.h"

#include <QDialog>
#include <QLabel>

#include <string>

class QPushButton;

namespace vesper::guidelink {

// A picture that opens a page when clicked.
class PictureLink : public QLabel {
    Q_OBJECT
public:
    PictureLink(const QString& objectName, const QString& text, std::string url, QWidget* parent);
    const std::string& url() const { return m_url; }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::string m_url;
};

class frmGuidelink : public QDialog {
    Q_OBJECT
public:
    explicit frmGuidelink(std::string installationFolder, QWidget* parent = nullptr);

    bool enabled() const { return m_bEnabled; }
    void cmdEnableToggle_Click();

protected:
    void done(int result) override;

private:
    void showState();

    std::string m_folder;
    bool m_bEnabled = false;
    QLabel* lblStatusMsg;
    QLabel* lblStatus;
    QLabel* lblNote;
    QLabel* lblVersion;
    QPushButton* cmdEnableToggle;
    QPushButton* cmdExit;
    PictureLink* picVesper;
    PictureLink* picYahooTV;
};

// The maker's pages behind the two pictures, on the product's web site.
inline const std::string kVesperPage = std::string(kProductSite) + "/";
inline const std::string kEnablerPage = std::string(kProductSite) + "/guidelink.html";

} // namespace vesper::guidelink
