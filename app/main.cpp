// Vesper: the main program. A short start: the scheduler object with its
// schedule, the main window with the user's output folder and profile, the
// tuner brought up on the chosen devices, the next event, then the tick.
#include "app/recording/frm_vesper.h"
#include "app/support/settings_store.h"
#include "app/support/status_log.h"
#include "app/support/ui_seam.h"
#include "app/tuner/mod_tuner.h"

#include "platform/automation.h"
#include "platform/clock.h"
#include "platform/paths.h"

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>

#include <filesystem>

namespace {

// Component libraries built beside the program are registered in the user's
// hive when their class is not known yet, so that a build tree runs as it is.
void registerBundledComponents() {
    const struct {
        const char* progId;
        const char* library;
    } bundled[] = {{"Slotbook.EventsObj", "Slotbook.so"},
                   {"Capgraph.Command", "Capgraph.so"},
                   {"WMEncEng.WMEncoder", "wmenceng.so"},
                   {"Encwrap.clsCommand", "encwrap.so"},
                   {"Chanplug.clsObject", "chanplug.so"}};
    for (const auto& b : bundled) {
        if (vesper::resolveProgId(b.progId)) continue;
        const std::string path = vesper::joinPath(vesper::executableFolder(), b.library);
        if (!std::filesystem::exists(path)) continue;
        if (auto lib = vesper::loadComponentLibrary(path)) lib->registerServer(path.c_str());
    }
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    vesper::installUiSeamFromEnvironment();
    vesper::setWaitHook([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 50); });
    registerBundledComponents();

    vesper::Program program;
    program.g_sChannel = vesper::RegGetSetting2(vesper::settings::Channel);
    program.g_sChannelPrevious = vesper::RegGetSetting2(vesper::settings::ChannelPrevious);
    program.g_sAdvanceProfile = vesper::RegGetSetting2(vesper::settings::Advance);

    vesper::ObjectPtr scheduler = program.createObject("Slotbook.EventsObj");
    if (!scheduler) vesper::LogStatus("LS0047:ERROR:F00:Form_Load():CreateObject() is nothing");

    vesper::frmVesper window(program, nullptr);
    window.m_bFormLoading = true;
    window.setHoldSchedule(true);
    window.setScheduler(scheduler);
    if (scheduler) {
        try {
            scheduler->call("Initialize");
        } catch (const vesper::AutomationError&) {
            // SetNextEvent reports what the scheduler cannot do.
        }
    }

    std::string output = vesper::RegGetSetting2(vesper::settings::OutputLocation);
    if (output.empty()) output = vesper::joinPath(vesper::programFolder(), vesper::settings::kOutputFolderName);
    std::error_code ec;
    std::filesystem::create_directories(output, ec);
    window.txtOutputDir->setText(QString::fromStdString(output));
    window.ValidateOutputFolder();
    window.ShowPluginDetected(vesper::ChangeChannelPluginDetected(program));

    window.show();
    window.tuner().InitTunerFromForm();
    window.SetNextEvent();
    window.setHoldSchedule(false);
    window.tuner().TunerInitPreview(window.mainWindowHandle(), "326", "79", "202", "152", "0");
    window.m_bFormLoading = false;

    const int rc = app.exec();
    window.releaseComponents();
    vesper::RegSaveSetting2(vesper::settings::Channel, program.g_sChannel);
    vesper::RegSaveSetting2(vesper::settings::ChannelPrevious, program.g_sChannelPrevious);
    vesper::RegSaveSetting2(vesper::settings::OutputLocation, window.txtOutputDir->text().toStdString());
    return rc;
}
