// The card model dialog: the user names the brand and model of the TV card,
// which the support e-mail quotes.
#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QComboBox;
class QPushButton;

namespace vesper {

// The card models offered, numbered from 1 ("unknown" last).
class clsDeviceName {
public:
    int Count() const;
    // Item n, 1-based; empty outside 1..Count().
    std::string Item(int n) const;
    const std::vector<std::string>& names() const;
};

inline constexpr const char* kSelectDevicePrompt = "Select your TV Tuner/Video Device ...";

// OK is offered for a text longer than 2 characters that is not the prompt.
bool initialConfigOkEnabled(const std::string& text);
// What closing the dialog stores: the text when OK took a valid one, else
// "<not_specified>".
std::string initialConfigStoredValue(const std::string& text, bool ok);
// No model stored yet ("<not_exist>", "<not_specified>" or empty).
bool cardModelMissing();

class frmInitialConfig : public QDialog {
    Q_OBJECT
public:
    explicit frmInitialConfig(QWidget* parent = nullptr);
    QComboBox* combo() const { return m_combo; }

protected:
    void done(int result) override;

private:
    QComboBox* m_combo = nullptr;
    QPushButton* m_ok = nullptr;
};

// Shows the dialog modally (asking the test seam first: its contents carry
// "cmbVideoDeviceName: <text>") and stores the choice. True when a model was
// stored.
bool ShowInitialConfig(QWidget* parent);

} // namespace vesper
