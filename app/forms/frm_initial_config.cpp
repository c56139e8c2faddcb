#include "app/forms/frm_initial_config.h"

#include "app/core/settings_store.h"
#include "platform/ui/qt_ui_seam.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesper {

namespace {

const std::vector<std::string>& deviceNames() {
    static const std::vector<std::string> names = {
        "AVerMedia - AVerTV Studio",
        "AVerMedia - AVerTV Stereo",
        "AVerMedia - AVerTV Value Edition",
        "AVerMedia - AVerTV USB",
        "Hauppauge - WinTV-GO",
        "Hauppauge - WinTV-GO-FM",
        "Hauppauge - WinTV",
        "Hauppauge - WinTV-Radio",
        "Hauppauge - WinTV-Theater",
        "Hauppauge - WinTV-USB",
        "Hauppauge - WinTV-USB-FM",
        "Pinnacle - PCTV",
        "Pinnacle - PCTV Pro",
        "unknown",
    };
    return names;
}

// A stored model goes into one line of an e-mail: no line breaks, a sane length.
std::string cleanModel(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (out.size() >= 100) break;
        out += (c < 0x20 || c == 0x7f) ? ' ' : static_cast<char>(c);
    }
    return out;
}

} // namespace

int clsDeviceName::Count() const { return static_cast<int>(deviceNames().size()); }

std::string clsDeviceName::Item(int n) const {
    if (n < 1 || n > Count()) return {};
    return deviceNames()[static_cast<size_t>(n - 1)];
}

const std::vector<std::string>& clsDeviceName::names() const { return deviceNames(); }

bool initialConfigOkEnabled(const std::string& text) { return text.size() > 2 && text != kSelectDevicePrompt; }

std::string initialConfigStoredValue(const std::string& text, bool ok) {
    const std::string model = cleanModel(text);
    return ok && initialConfigOkEnabled(model) ? model : settings::kNotSpecified;
}

bool cardModelMissing() {
    const std::string model = RegGetSetting2(settings::sVideoDeviceName);
    return model.empty() || model == settings::kNotExist || model == settings::kNotSpecified;
}

frmInitialConfig::frmInitialConfig(QWidget* parent) : QDialog(parent) {
    setObjectName("frmInitialConfig");
    setWindowTitle("Vesper Home - TV Tuner/Video Device");
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* prompt = new QLabel("Brand and model of your TV Tuner/Video Device:", this);
    prompt->setObjectName("lblVideoDeviceName");
    layout->addWidget(prompt);
    m_combo = new QComboBox(this);
    m_combo->setObjectName("cmbVideoDeviceName");
    m_combo->setEditable(true);
    m_combo->setInsertPolicy(QComboBox::NoInsert);
    for (const auto& n : clsDeviceName().names())
        m_combo->addItem(QString::fromStdString(n));
    m_combo->setEditText(kSelectDevicePrompt);
    layout->addWidget(m_combo);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    m_ok = new QPushButton("OK", this);
    m_ok->setObjectName("cmdOK");
    m_ok->setDefault(true);
    buttons->addWidget(m_ok);
    layout->addLayout(buttons);
    auto update = [this] { m_ok->setEnabled(initialConfigOkEnabled(m_combo->currentText().toStdString())); };
    connect(m_combo, &QComboBox::editTextChanged, this, update);
    connect(m_combo, &QComboBox::currentIndexChanged, this, update);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    update();
}

void frmInitialConfig::done(int result) {
    RegSaveSetting2(settings::sVideoDeviceName,
                    initialConfigStoredValue(m_combo->currentText().toStdString(), result == QDialog::Accepted));
    QDialog::done(result);
}

bool ShowInitialConfig(QWidget* parent) {
    if (const auto scripted = scriptedModal({"frmInitialConfig", "Vesper Home - TV Tuner/Video Device",
                                             std::string("cmbVideoDeviceName: ") + kSelectDevicePrompt, "OK"})) {
        // Pressed as it stands: the prompt is no model.
        RegSaveSetting2(settings::sVideoDeviceName, initialConfigStoredValue(kSelectDevicePrompt, *scripted == "OK"));
        return false;
    }
    frmInitialConfig dialog(parent);
    return dialog.exec() == QDialog::Accepted && !cardModelMissing();
}

} // namespace vesper
