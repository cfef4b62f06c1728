// voltina's options, and the help window behind "About Voltina".

#include "app/command_line.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/frame_window.h"
#include "app/program.h"
#include "app/program_parts.h"
#include "dialogs/help_window.h"
#include "tests/gui/gui_test_support.h"

namespace voltina::test {
namespace {

ProgramOptions parsed(const std::vector<std::string>& args, const char* env = nullptr) {
    ProgramOptions o;
    std::string error;
    EXPECT_TRUE(parseProgramOptions(args, env, o, error)) << error;
    return o;
}

std::string refused(const std::vector<std::string>& args) {
    ProgramOptions o;
    o.configPath = "untouched";
    std::string error;
    EXPECT_FALSE(parseProgramOptions(args, nullptr, o, error));
    EXPECT_EQ(o.configPath, "untouched");
    return error;
}

TEST(CommandLine, OptionsInBothSpellingsAndOneConfiguration) {
    ProgramOptions o = parsed({"--audio", "null", "--zoom=1.5", "--stats", "patches/drone"});
    EXPECT_EQ(o.backend, AudioBackend::Null);
    EXPECT_EQ(o.zoom, 1.5);
    EXPECT_TRUE(o.printStats);
    EXPECT_EQ(o.configPath, "patches/drone");
    EXPECT_FALSE(o.help);
    EXPECT_TRUE(o.connectPorts);

    o = parsed({"--audio=jack", "--no-connect", "--zoom", "2"});
    EXPECT_EQ(o.backend, AudioBackend::Jack);
    EXPECT_FALSE(o.connectPorts);
    EXPECT_EQ(o.zoom, 2.0);
    EXPECT_TRUE(o.configPath.empty());
    EXPECT_TRUE(parsed({"-h"}).help);
    EXPECT_TRUE(parsed({"--version"}).version);
    EXPECT_EQ(parsed({"--zoom", "1"}).zoom, 1.0);
    EXPECT_EQ(parsed({"--plugin-window", "7"}).pluginWindowFd, 7);
    // "--" lets a configuration's name start with a dash.
    EXPECT_EQ(parsed({"--", "-odd name"}).configPath, "-odd name");
    // Qt's own options are left to the application, their values not taken for a configuration.
    o = parsed({"-platform", "offscreen", "-reverse", "drone"});
    EXPECT_EQ(o.configPath, "drone");
}

TEST(CommandLine, WrongCommandLinesAreRefusedInWords) {
    EXPECT_EQ(refused({"--bogus"}), "unknown option --bogus");
    EXPECT_EQ(refused({"--zoom", "3"}), "--zoom must be 1, 1.5 or 2, not \"3\"");
    EXPECT_EQ(refused({"--zoom=0.5"}), "--zoom must be 1, 1.5 or 2, not \"0.5\"");
    EXPECT_EQ(refused({"--zoom", "two"}), "--zoom must be 1, 1.5 or 2, not \"two\"");
    EXPECT_EQ(refused({"--zoom"}), "--zoom needs a value");
    // Never standard input, output or error, nor a number beyond any descriptor.
    for (const char* fd : {"2", "-3", "3x", "99999999999"})
        EXPECT_EQ(
            refused({"--plugin-window", fd}),
            std::string("--plugin-window takes the number of the socket its plugin gave it (3 or more), "
                        "not \"") +
                fd + "\"");
    EXPECT_EQ(refused({"--audio"}), "--audio needs a value");
    EXPECT_NE(refused({"--audio", "oss"}).find("unknown audio system \"oss\""), std::string::npos);
    EXPECT_EQ(refused({"a", "b"}), "only one configuration can be loaded, \"b\" is one too many");
    EXPECT_EQ(refused({"--zoomed"}), "unknown option --zoomed");
    EXPECT_NE(refused({""}).find("an empty name is not a configuration file"), std::string::npos);
    EXPECT_NE(refused({"--", ""}).find("an empty name"), std::string::npos);
}

TEST(CommandLine, TheEnvironmentChoosesTheAudioUnlessTheCommandLineDoes) {
    EXPECT_EQ(parsed({}, "null").backend, AudioBackend::Null);
    EXPECT_EQ(parsed({"--audio", "alsa"}, "null").backend, AudioBackend::Alsa);
    // A wrong value there is worth a warning, not a refusal.
    const ProgramOptions o = parsed({}, "bogus");
    EXPECT_EQ(o.backend, AudioBackend::Automatic);
    EXPECT_NE(o.environmentWarning.find("VOLTINA_AUDIO"), std::string::npos);
    EXPECT_TRUE(parsed({"--audio", "pulse"}, "bogus").environmentWarning.empty());
}

TEST(CommandLine, TheZoomScalesOnTopOfAScaleAlreadyAskedFor) {
    EXPECT_EQ(scaleFactorFor(2.0, nullptr), "2");
    EXPECT_EQ(scaleFactorFor(1.5, ""), "1.5");
    EXPECT_EQ(scaleFactorFor(2.0, "1.25"), "2.5");
    EXPECT_EQ(scaleFactorFor(1.5, "junk"), "1.5");
}

TEST(HelpCommand, AboutVoltinaOpensTheHelpWindowOverThePanel) {
    EngineState state;
    FakeAudio audio{state};
    ProgramParts parts{state, audio, [](int) {}, MidiInputOptions{}};
    ProgramWiring w = parts.wiring();
    w.services.midi = nullptr;
    auto frame = createMainWindow(state, audio, w.services);
    // The build puts VOLTINA.TXT beside the programs (bin/../share/voltina), where the window finds it.
    bool helpShown = false;
    QWidget* parent = nullptr;
    QString text;
    ModalDriver driver;
    driver.then([&](QWidget* modal) {
        if (auto* help = dynamic_cast<HelpWindow*>(modal)) {
            helpShown = true;
            parent = help->parentWidget();
            text = help->textField()->toPlainText();
            help->okButton()->click();
        } else if (auto* other = dynamic_cast<QDialog*>(modal)) {
            other->reject();
        }
    });
    frame->menuAction(903)->trigger();
    ASSERT_TRUE(helpShown) << "first window: " << driver.seen().at(0).className << " "
                           << driver.seen().at(0).text;
    EXPECT_EQ(parent, frame->panel());
    EXPECT_TRUE(text.contains(QStringLiteral("Voltina"))) << text.left(200).toStdString();
}

}  // namespace
}  // namespace voltina::test
