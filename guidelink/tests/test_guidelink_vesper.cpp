// guidelink --sch against a real Vesper: guidelink starts it (offscreen, with
// this test's hive and program folder), waits for it and hands the listing
// over; Vesper opens its Add Event dialog in the external mode, answered
// through the test seam of its message boxes and dialogs.
#include "platform/dates.h"
#include "platform/handover/handover_client.h"
#include "platform/handover/handover_protocol.h"
#include "platform/handover/main_program_keys.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/testing/qt_test_support.h"
#include "platform/testing/test_env.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace vesper;

namespace {

struct UiLine {
    std::string kind, form, title, text, contents, answer;
};

// The Vesper this test started: found by its hive, which no other process uses.
pid_t ourVesper() {
    const std::string hive = std::string("VESPER_REGISTRY=") + std::getenv("VESPER_REGISTRY");
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const auto exe = std::filesystem::read_symlink(entry.path() / "exe", ec);
        if (ec || exe.filename() != "vesper") continue;
        std::ifstream in(entry.path() / "environ", std::ios::binary);
        std::string variable;
        while (std::getline(in, variable, '\0'))
            if (variable == hive) return static_cast<pid_t>(std::stol(name));
    }
    return 0;
}

// Running, and not merely a zombie nobody reaped yet.
bool running(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(in, stat)) return false;
    const auto paren = stat.rfind(')');
    return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] != 'Z';
}

// One "name: value" line of a dialog's contents.
bool hasField(const std::string& contents, const std::string& field) {
    std::istringstream in(contents);
    std::string line;
    while (std::getline(in, line))
        if (line == field) return true;
    return false;
}

std::string socketPath() { return instanceRuntimePath(handover::kSocketName); }

// What Vesper stored as bAppLoadComplete; empty when nothing.
std::string appLoadComplete() {
    const auto v = registry::queryValue(std::string(mainprogram::kSettingsRoot) + mainprogram::kStatusKey,
                                        mainprogram::kAppLoadComplete);
    return v ? v->text : std::string();
}

// A client speaking the raw protocol: connects, writes `bytes`, and returns
// the answer byte (0 when none came).
class RawClient {
public:
    RawClient() {
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const std::string path = socketPath();
        std::memcpy(addr.sun_path, path.c_str(), std::min(path.size() + 1, sizeof addr.sun_path - 1));
        m_connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~RawClient() { ::close(m_fd); }
    bool connected() const { return m_connected; }
    void write(const std::string& bytes) { (void)!::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    char answer() {
        pollfd p{m_fd, POLLIN, 0};
        char c = 0;
        if (::poll(&p, 1, 20000) > 0 && ::recv(m_fd, &c, 1, 0) == 1) return c;
        return 0;
    }

private:
    int m_fd = -1;
    bool m_connected = false;
};

std::string lengthHeader(uint32_t n) {
    std::string h(4, '\0');
    handover::encodeLength(n, reinterpret_cast<unsigned char*>(h.data()));
    return h;
}

std::string doc(const std::string& fields) {
    return "<?xml version=\"1.0\"?><TvProgramEvents><TvProgramEvent>" + fields + "</TvProgramEvent></TvProgramEvents>";
}

// Vesper runs on a fixed day, and the listing starts an hour and a half
// later: its link gives that local time in UTC, whatever the machine's zone.
constexpr const char* kVesperNow = "4/20/2030 8:00:00 PM";
const DateTime kListingStart = makeDate(2030, 4, 20, 21, 30, 0);

std::string listingLink() {
    const std::time_t t = static_cast<std::time_t>(toUnixLocal(kListingStart));
    std::tm utc{};
    gmtime_r(&t, &utc);
    char st[32];
    std::strftime(st, sizeof st, "%Y%m%dT%H%M%SZ", &utc);
    return std::string("http://tv.example.com/tvpdb?d=tvi&TITLE=Law+%26+Order+(WNBC+4)&ST=") + st + "&DUR=0130";
}

class GuidelinkStartsVesper : public ::testing::Test {
protected:
    void SetUp() override {
        test::qtApp();
        ASSERT_TRUE(test::registerComponent(MSGPIPE_PATH));
        uiLog = joinPath(test::testFolder(), "ui.log");
        // Each test starts from no log and no schedule, also when the tests
        // share one process.
        std::filesystem::remove(uiLog);
        std::filesystem::remove(joinPath(test::testFolder(), "Schedule.txt"));
        cards = test::writeFile(joinPath(test::testFolder(), "cards.json"),
                                R"({"realDevices": false, "cards": [{"video": "Card A", "audio": "Card A Audio",)"
                                R"( "tuner": true}]})");
    }
    void TearDown() override {
        // Never leave the started program behind, whatever happened.
        if (const pid_t pid = ourVesper()) {
            ::kill(pid, SIGTERM);
            if (!test::spinUntil([&] { return !running(pid); }, 30000)) ::kill(pid, SIGKILL);
        }
    }

    // Runs guidelink --sch with the answers for what Vesper will show.
    int sch(const std::string& link, const std::string& answers, std::string* err = nullptr) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VESPER_TEST_UI_LOG", QString::fromStdString(uiLog));
        env.insert("VESPER_TEST_UI_ANSWERS", QString::fromStdString(answers));
        env.insert("VESPER_VIRTUAL_CARDS", QString::fromStdString(cards));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("VESPER_TEST_NOW", kVesperNow);
        p.setProcessEnvironment(env);
        p.start(GUIDELINK_PATH, {"--sch", QString::fromStdString(link)});
        EXPECT_TRUE(p.waitForStarted());
        EXPECT_TRUE(test::spinUntil([&] { return p.state() == QProcess::NotRunning; }, 120000));
        if (err) *err = p.readAllStandardError().toStdString();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    std::vector<UiLine> lines() {
        std::vector<UiLine> out;
        if (!std::filesystem::exists(uiLog)) return out;
        std::istringstream in(test::readFile(uiLog));
        std::string line;
        while (std::getline(in, line)) {
            const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
            auto s = [&](const char* k) { return o.value(QLatin1String(k)).toString().toStdString(); };
            // A modal window's contents come as its "text".
            out.push_back(
                {s("kind"), s("form"), s("title"), s("text"), s("kind") == "modal" ? s("text") : "", s("answer")});
        }
        return out;
    }
    // Waits until Vesper has shown `count` boxes and dialogs in all.
    std::vector<UiLine> waitForLines(size_t count) {
        EXPECT_TRUE(test::spinUntil([&] { return lines().size() >= count; }, 60000)) << "waiting for " << count;
        return lines();
    }
    size_t countModals(const std::vector<UiLine>& all, const std::string& form) {
        return std::count_if(all.begin(), all.end(), [&](const UiLine& l) { return l.form == form; });
    }
    // Ends Vesper as the desktop would (SIGTERM) and waits until it has gone.
    void endVesper() {
        const pid_t pid = ourVesper();
        ASSERT_NE(pid, 0);
        ASSERT_EQ(::kill(pid, SIGTERM), 0);
        ASSERT_TRUE(test::spinUntil([&] { return !running(pid); }, 60000));
    }

    std::string uiLog, cards;
};

TEST_F(GuidelinkStartsVesper, ListingOpensTheExternalDialogAndOkSchedulesIt) {
    ASSERT_EQ(ourVesper(), 0);
    // The loading window takes its default; the Add Event dialog is answered OK.
    std::string err;
    ASSERT_EQ(sch(listingLink(), ",OK", &err), 0) << err;
    EXPECT_NE(ourVesper(), 0);
    EXPECT_EQ(appLoadComplete(), "True");

    std::vector<UiLine> all;
    ASSERT_TRUE(test::spinUntil([&] { return countModals(all = lines(), "frmAddEvent") == 1; }, 60000));
    const auto dialog = std::find_if(all.begin(), all.end(), [](const UiLine& l) { return l.form == "frmAddEvent"; });
    EXPECT_EQ(dialog->kind, "modal");
    EXPECT_EQ(dialog->title, "Add Event [External]");
    EXPECT_EQ(dialog->answer, "OK");
    for (const char* field :
         {"cmbStartHour: 9", "cmbStartMinute: :30", "optStartPM: True", "cmbDurationHour: 1", "cmbDurationMinute: :30",
          "cmbChannel: 4", "cmbRepeat: once", "txtOutput: WNBC - Law And Order"})
        EXPECT_TRUE(hasField(dialog->contents, field)) << field << " in\n" << dialog->contents;

    // OK scheduled it and saved the schedule; closing keeps it.
    endVesper();
    EXPECT_EQ(appLoadComplete(), "False");
    EXPECT_EQ(handover::sendToMainProgram(socketPath(), {}, 2), handover::SendResult::NoAnswer);
    const std::string schedule = test::readFile(joinPath(test::testFolder(), "Schedule.txt"));
    EXPECT_NE(schedule.find("4/20/2030 9:30:00 PM,4,90,True,once,WNBC - Law And Order.wmv\r\n"), std::string::npos)
        << schedule;
}

TEST_F(GuidelinkStartsVesper, HostileDocumentsNeverUpsetTheRunningProgram) {
    // Every dialog and box takes its default: the dialog is cancelled.
    std::string err;
    ASSERT_EQ(sch(listingLink(), "", &err), 0) << err;
    std::vector<UiLine> all = waitForLines(2); // the loading window, the dialog
    ASSERT_EQ(countModals(all, "frmAddEvent"), 1u);
    EXPECT_EQ(all.back().answer, "Cancel");
    const pid_t pid = ourVesper();
    ASSERT_NE(pid, 0);

    // Unreadable documents: each gives the parser's message, no dialog.
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">";
    for (int i = 1; i < 10; ++i) {
        laughs += "<!ENTITY lol" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j)
            laughs += "&lol" + (i == 1 ? std::string() : std::to_string(i - 1)) + ";";
        laughs += "\">";
    }
    laughs += "]><lolz><e><title>&lol9;</title></e></lolz>";
    const std::vector<std::string> unreadable = {
        "<broken",
        "this is not XML",
        doc("<title>Tom <3 Jerry</title>"),
        "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><r><e><title>&x;</title>"
        "</e></r>",
        laughs,
        std::string("<a>\0</a>", 8),
    };
    size_t seen = all.size();
    for (const std::string& d : unreadable) {
        ASSERT_EQ(handover::sendToMainProgram(socketPath(), d), handover::SendResult::Accepted);
        all = waitForLines(++seen);
        EXPECT_EQ(all.back().kind, "message");
        EXPECT_EQ(all.back().text.rfind("loadXML() failed:  ", 0), 0u) << all.back().text;
    }

    // Fields that cannot be read: the dialog opens with the defaults; a
    // channel no tuner has is shown as sent, and a message names it.
    ASSERT_EQ(
        handover::sendToMainProgram(
            socketPath(), doc("<channel>99999</channel><duration>abc</duration><start>2004-13-45T99:99:99Z</start>"
                              "<repeat>sometimes</repeat>")),
        handover::SendResult::Accepted);
    seen += 2;
    all = waitForLines(seen);
    const UiLine dialog = all[all.size() - 2];
    EXPECT_EQ(dialog.form, "frmAddEvent");
    EXPECT_TRUE(hasField(dialog.contents, "cmbChannel: 99999")) << dialog.contents;
    EXPECT_TRUE(hasField(dialog.contents, "cmbRepeat: once")) << dialog.contents;
    EXPECT_EQ(all.back().kind, "message");
    EXPECT_EQ(all.back().text.rfind("Channel 99999 is outside the channels Vesper can tune", 0), 0u) << all.back().text;

    // Refused at the socket: not UTF-8, and a length over the limit (never
    // read whole). A client that sends nothing holds up nobody.
    EXPECT_EQ(handover::sendToMainProgram(socketPath(), "\xff\xfe<a/>"), handover::SendResult::Refused);
    {
        RawClient big;
        ASSERT_TRUE(big.connected());
        big.write(lengthHeader(10 * 1024 * 1024) + std::string(4096, 'x'));
        EXPECT_EQ(big.answer(), handover::kRefused);
    }
    RawClient silent;
    ASSERT_TRUE(silent.connected());
    silent.write(lengthHeader(100));
    ASSERT_EQ(handover::sendToMainProgram(socketPath(), doc("<channel>7</channel>")), handover::SendResult::Accepted);
    all = waitForLines(++seen);
    EXPECT_EQ(all.back().form, "frmAddEvent");
    EXPECT_TRUE(hasField(all.back().contents, "cmbChannel: 7")) << all.back().contents;
    EXPECT_EQ(silent.answer(), 0); // dropped after a while, without an answer

    // Still the same program, still answering; nothing was scheduled.
    EXPECT_EQ(ourVesper(), pid);
    EXPECT_EQ(handover::sendToMainProgram(socketPath(), {}), handover::SendResult::Alive);
    endVesper();
    const std::string schedule = test::readFile(joinPath(test::testFolder(), "Schedule.txt"));
    EXPECT_EQ(schedule.find(".wmv"), std::string::npos) << schedule;
    EXPECT_EQ(lines().size(), seen);
}

TEST_F(GuidelinkStartsVesper, ProgramThatDiedIsStartedAgain) {
    std::string err;
    ASSERT_EQ(sch(listingLink(), "", &err), 0) << err;
    ASSERT_TRUE(test::spinUntil([&] { return countModals(lines(), "frmAddEvent") == 1; }, 60000));
    const pid_t first = ourVesper();
    ASSERT_NE(first, 0);
    // A crash leaves bAppLoadComplete "True" and the socket file behind.
    ASSERT_EQ(::kill(first, SIGKILL), 0);
    ASSERT_TRUE(test::spinUntil([&] { return !running(first); }, 60000));
    EXPECT_EQ(appLoadComplete(), "True");
    EXPECT_TRUE(std::filesystem::exists(socketPath()));

    ASSERT_EQ(sch(listingLink(), "", &err), 0) << err;
    ASSERT_TRUE(test::spinUntil([&] { return countModals(lines(), "frmAddEvent") == 2; }, 60000));
    const pid_t second = ourVesper();
    EXPECT_NE(second, 0);
    EXPECT_NE(second, first);
    endVesper();
}

} // namespace
