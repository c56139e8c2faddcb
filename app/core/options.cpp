#include "app/core/options.h"

#include "app/core/settings_store.h"

#include <cstring>
#include <stdexcept>

namespace vesper {

namespace {

std::string flagText(SettingForm form, bool value) {
    if (form == SettingForm::ZeroOne) return value ? "1" : "0";
    return value ? "True" : "False";
}

bool flagValue(SettingForm form, const std::string& stored) {
    // "0" is the one false of a check box; anything else reads as checked.
    if (form == SettingForm::ZeroOne) return stored != "0";
    return settingToBool(stored);
}

const OptionSetting& row(const char* control) {
    if (const OptionSetting* r = optionForControl(control)) return *r;
    throw std::logic_error(std::string("no stored option for ") + control);
}

} // namespace

const OptionSetting* optionForControl(const std::string& control) {
    for (const OptionSetting& r : kOptionSettings)
        if (control == r.control) return &r;
    return nullptr;
}

Options::Options() {
    for (const OptionSetting& r : kOptionSettings)
        m_values[r.control] = r.setting.defaultValue;
}

bool Options::flag(const char* control) const {
    const OptionSetting& r = row(control);
    return flagValue(r.form, m_values.at(r.control));
}

std::string Options::text(const char* control) const { return m_values.at(row(control).control); }

void Options::setFlag(const char* control, bool value) {
    const OptionSetting& r = row(control);
    m_values[r.control] = flagText(r.form, value);
}

void Options::setText(const char* control, const std::string& value) {
    const OptionSetting& r = row(control);
    m_values[r.control] = value;
}

void Options::clicked(const char* control) const {
    const OptionSetting& r = row(control);
    if (r.storedOnClick) store(r);
}

void Options::load(std::initializer_list<const char*> controls) {
    auto wanted = [&](const OptionSetting& r) {
        if (controls.size() == 0) return true;
        for (const char* c : controls)
            if (std::strcmp(c, r.control) == 0) return true;
        return false;
    };
    for (const OptionSetting& r : kOptionSettings) {
        if (!wanted(r)) continue;
        const std::string stored = RegGetSetting2(r.setting);
        m_values[r.control] = r.form == SettingForm::Text ? stored : flagText(r.form, flagValue(r.form, stored));
    }
    if (flag("optAttachTvWindow")) m_values["optTunOffTvWindow"] = flagText(SettingForm::TrueFalse, false);
}

void Options::save() const {
    for (const OptionSetting& r : kOptionSettings)
        store(r);
}

void Options::store(const OptionSetting& r) const { RegSaveSetting2(r.setting, m_values.at(r.control)); }

} // namespace vesper
