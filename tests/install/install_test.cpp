// Voltina as a user gets it: `cmake --install` into a private prefix, the installed programs run from
// another folder, and the .deb that CPack makes from the same tree, looked at with dpkg-deb.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/run_command.h"

namespace fs = std::filesystem;

namespace {

const std::string kVersionLine = "Voltina 3.10\n";
// A program that has not handled an option before opening its window would run until this kills it.
constexpr int kTimeoutSeconds = 10;
constexpr int kTimedOut = 124;  // timeout(1)'s exit code

std::string quote(const std::string& text) {
    std::string q = "'";
    for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class TempFolder {
  public:
    explicit TempFolder(const std::string& label) {
        std::string pattern = (fs::temp_directory_path() / ("voltina-" + label + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs a shell command in `folder`, stdout and stderr kept apart.
Outcome runIn(const fs::path& folder, const std::string& command) {
    static int serial = 0;
    const fs::path errFile = fs::temp_directory_path() / ("voltina-install-test-" + std::to_string(getpid()) +
                                                          "-" + std::to_string(++serial));
    const std::string line =
        "cd " + quote(folder.string()) + " && " + command + " 2>" + quote(errFile.string());
    Outcome r;
    voltina::test::CommandResult ran = voltina::test::runShell(line);
    r.out = std::move(ran.output);
    r.exitCode = WIFEXITED(ran.status) ? WEXITSTATUS(ran.status) : -1;
    r.err = readText(errFile);
    std::error_code ignored;
    fs::remove(errFile, ignored);
    return r;
}

// The options a text mentions, "--midi-port" written either plainly or as roff's "\-\-midi\-port".
std::set<std::string> optionsIn(std::string text) {
    text = std::regex_replace(text, std::regex(R"(\\-)"), "-");
    std::set<std::string> found;
    const std::regex option(R"(--[a-z][a-z-]*[a-z])");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator(); ++it)
        found.insert(it->str());
    return found;
}

std::uint32_t le32(const std::string& bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return v;
}

// ---- cmake --install into a private prefix ----

class InstalledTree : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        prefixFolder = new TempFolder("prefix");
        elsewhere = new TempFolder("elsewhere");
        runtime = new TempFolder("runtime");
        fs::permissions(runtime->path(), fs::perms::owner_all, fs::perm_options::replace);
        install = new Outcome(runIn(elsewhere->path(), quote(CMAKE_COMMAND) + " --install " +
                                                           quote(VOLTINA_BUILD_DIR) + " --prefix " +
                                                           quote(prefixFolder->path().string())));
    }
    static void TearDownTestSuite() {
        delete install;
        delete runtime;
        delete elsewhere;
        delete prefixFolder;
    }
    void SetUp() override { ASSERT_EQ(install->exitCode, 0) << install->out << install->err; }

    static fs::path prefix() { return prefixFolder->path(); }
    static fs::path bin(const std::string& program) { return prefix() / VOLTINA_BINDIR / program; }
    static fs::path share() { return prefix() / VOLTINA_DATADIR; }

    // The installed program, run from a folder that holds none of the tree's files. The window program
    // gets no screen and no sound card, as in a terminal without a desktop.
    static Outcome runInstalled(const std::string& program, const std::string& arguments) {
        const std::string env = "env QT_QPA_PLATFORM=offscreen VOLTINA_AUDIO=null XDG_RUNTIME_DIR=" +
                                quote(runtime->path().string()) + " ";
        return runIn(elsewhere->path(), env + "timeout " + std::to_string(kTimeoutSeconds) + " " +
                                            quote(bin(program).string()) + " " + arguments + " </dev/null");
    }

    static std::string manPage(const std::string& program) {
        const fs::path page = prefix() / VOLTINA_MANDIR / "man1" / (program + ".1.gz");
        return runIn(elsewhere->path(), "gzip -dc " + quote(page.string())).out;
    }

    static TempFolder* prefixFolder;
    static TempFolder* elsewhere;
    static TempFolder* runtime;
    static Outcome* install;
};

TempFolder* InstalledTree::prefixFolder = nullptr;
TempFolder* InstalledTree::elsewhere = nullptr;
TempFolder* InstalledTree::runtime = nullptr;
Outcome* InstalledTree::install = nullptr;

TEST_F(InstalledTree, HelpTextLiesWhereTheProgramLooksForIt) {
    const std::string original = readText(fs::path(VOLTINA_BUILD_DIR) / "share" / "voltina" / "VOLTINA.TXT");
    ASSERT_FALSE(original.empty());

    // Beside the installed program, which is how an installation in any prefix finds it ...
    const fs::path beside = bin("voltina").parent_path() / ".." / "share" / "voltina" / "VOLTINA.TXT";
    EXPECT_EQ(readText(beside), original) << beside;

    // ... and in the data folder compiled into the program, once installed under the prefix it was built
    // for (a package installs there).
    const fs::path dataDir(VOLTINA_DATA_DIR);
    const fs::path underPrefix = dataDir.lexically_relative(VOLTINA_INSTALL_PREFIX);
    ASSERT_FALSE(underPrefix.empty()) << VOLTINA_DATA_DIR << " is not inside " << VOLTINA_INSTALL_PREFIX;
    EXPECT_EQ(readText(prefix() / underPrefix / "VOLTINA.TXT"), original);
    EXPECT_TRUE(contains(readText(bin("voltina")), VOLTINA_DATA_DIR))
        << "the installed voltina does not look in " << VOLTINA_DATA_DIR;

    // The folder the programs run from here has none of it: what they find comes from the installation.
    EXPECT_FALSE(fs::exists(elsewhere->path() / "VOLTINA.TXT"));
}

TEST_F(InstalledTree, InstalledPluginIsFoundUnderLibLv2) {
    const fs::path lv2 = prefix() / "lib" / "lv2";
    for (const std::string file : {"manifest.ttl", "voltina.ttl", "voltina.so", "voltina_ui.so"})
        EXPECT_TRUE(fs::is_regular_file(lv2 / "voltina.lv2" / file)) << file;
    // A host looks only where LV2_PATH says: the installed bundle first, then the LV2 schemas, which name
    // the plugin's class.
    const Outcome r = runIn(elsewhere->path(),
                            "env LV2_PATH=" + quote(lv2.string()) + ":/usr/lib/lv2 lv2info " VOLTINA_LV2_URI);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(contains(r.out, (lv2 / "voltina.lv2" / "voltina.so").string())) << r.out;
    EXPECT_TRUE(contains(r.out, "Instrument Plugin")) << r.out;
    // Its window, whose library finds the installed program beside the bundle.
    EXPECT_TRUE(contains(r.out, (lv2 / "voltina.lv2" / "voltina_ui.so").string())) << r.out;
    EXPECT_TRUE(fs::is_regular_file(lv2 / "voltina.lv2" / ".." / ".." / ".." / "bin" / "voltina"));
}

TEST_F(InstalledTree, BothProgramsPrintTheirVersion) {
    for (const std::string program : {"voltina-render", "voltina"}) {
        SCOPED_TRACE(program);
        ASSERT_TRUE(fs::is_regular_file(bin(program)));
        EXPECT_TRUE((fs::status(bin(program)).permissions() & fs::perms::others_exec) != fs::perms::none);
        const Outcome r = runInstalled(program, "--version");
        EXPECT_NE(r.exitCode, kTimedOut) << program << " --version opened the program instead of answering";
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, kVersionLine);
    }
}

TEST_F(InstalledTree, HelpAndManPagesDescribeTheSameOptions) {
    // The options each program must offer; whatever else --help shows must be in the man page too.
    const std::map<std::string, std::set<std::string>> required = {
        {"voltina", {"--help", "--version", "--audio", "--midi-port", "--zoom"}},
        {"voltina-render",
         {"--help", "--version", "--seconds", "--frames", "--rate", "--channels", "--midi", "--output"}},
    };
    for (const auto& [program, options] : required) {
        SCOPED_TRACE(program);
        const std::string page = manPage(program);
        ASSERT_TRUE(contains(page, ".TH")) << "no man page for " << program;
        EXPECT_FALSE(contains(page, "@")) << "a placeholder was left in the man page";
        EXPECT_TRUE(contains(page, "Voltina 3.10"));

        const Outcome help = runInstalled(program, "--help");
        EXPECT_NE(help.exitCode, kTimedOut) << program << " --help opened the program instead of answering";
        EXPECT_EQ(help.exitCode, 0) << help.err;
        const std::set<std::string> inHelp = optionsIn(help.out);
        const std::set<std::string> inPage = optionsIn(page);
        for (const std::string& option : inHelp)
            EXPECT_EQ(inPage.count(option), 1u) << option << " is in --help but not in the man page";
        for (const std::string& option : options) {
            EXPECT_EQ(inHelp.count(option), 1u) << option << " not in --help:\n" << help.out;
            EXPECT_EQ(inPage.count(option), 1u) << option << " not in the man page";
        }
    }
}

TEST_F(InstalledTree, BadCommandLinesAreRefusedOnStderr) {
    const Outcome render = runInstalled("voltina-render", "--rate 8000 --seconds 1 -o never.wav");
    EXPECT_EQ(render.exitCode, 2);
    EXPECT_TRUE(contains(render.err, "--rate")) << render.err;
    EXPECT_TRUE(render.out.empty());
    EXPECT_FALSE(fs::exists(elsewhere->path() / "never.wav"));

    const Outcome zoom = runInstalled("voltina", "--zoom 3");
    EXPECT_NE(zoom.exitCode, kTimedOut) << "voltina --zoom 3 opened the window instead of refusing";
    EXPECT_NE(zoom.exitCode, 0);
    EXPECT_TRUE(contains(zoom.err, "--zoom")) << zoom.err;
}

TEST_F(InstalledTree, InstalledRendererWritesAWaveFileFromElsewhere) {
    const Outcome r = runInstalled("voltina-render", "--seconds 0.5 -o half.wav");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string wav = readText(elsewhere->path() / "half.wav");
    ASSERT_GE(wav.size(), 44u);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(wav.substr(8, 4), "WAVE");
    EXPECT_EQ(le32(wav, 4), wav.size() - 8);
    const std::size_t data = wav.find("data", 12);
    ASSERT_NE(data, std::string::npos);
    EXPECT_EQ(le32(wav, data + 4), 5512u * 2u);  // 0.5 s at 11025 Hz, rounded down, 8-bit stereo
    // The default patch sounds: not every byte sits at the 8-bit silence value.
    EXPECT_NE(wav.find_first_not_of('\x80', data + 8), std::string::npos);
    fs::remove(elsewhere->path() / "half.wav");
}

TEST_F(InstalledTree, DesktopEntryIconAndFileTypeFitTogether) {
    const std::string entry = readText(share() / "applications" / "voltina.desktop");
    ASSERT_FALSE(entry.empty());
    EXPECT_TRUE(contains(entry, "\nExec=voltina %f\n"));
    EXPECT_TRUE(contains(entry, "\nCategories=AudioVideo;Audio;Midi;Music;\n"));
    EXPECT_TRUE(fs::is_regular_file(bin("voltina")));

    std::smatch icon;
    ASSERT_TRUE(std::regex_search(entry, icon, std::regex(R"(\nIcon=([^\n]+)\n)")));
    const std::string svg =
        readText(share() / "icons" / "hicolor" / "scalable" / "apps" / (icon[1].str() + ".svg"));
    EXPECT_TRUE(contains(svg, "<svg") && contains(svg, "</svg>")) << "no scalable icon named " << icon[1];

    std::smatch mime;
    ASSERT_TRUE(std::regex_search(entry, mime, std::regex(R"(\nMimeType=([^;\n]+);)")));
    const std::string types = readText(share() / "mime" / "packages" / "voltina.xml");
    EXPECT_TRUE(contains(types, "type=\"" + mime[1].str() + "\"")) << mime[1];

    // Software centres find the menu entry through the metainfo's launchable.
    const std::string metainfo = readText(share() / "metainfo" / "io.github.voltina.Voltina.metainfo.xml");
    EXPECT_TRUE(contains(metainfo, "<launchable type=\"desktop-id\">voltina.desktop</launchable>"))
        << "no metainfo launching voltina.desktop";
}

// ---- the Debian package ----

class DebianPackage : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder = new TempFolder("deb");
        arch = runIn(folder->path(), "dpkg --print-architecture").out;
        while (!arch.empty() && arch.back() == '\n') arch.pop_back();
        cpack = new Outcome(
            runIn(folder->path(), quote(CPACK_COMMAND) + " -G DEB --config " +
                                      quote(std::string(VOLTINA_BUILD_DIR) + "/CPackConfig.cmake") + " -B " +
                                      quote(folder->path().string())));
    }
    static void TearDownTestSuite() {
        delete cpack;
        delete folder;
    }
    void SetUp() override {
        ASSERT_EQ(cpack->exitCode, 0) << cpack->out << cpack->err;
        ASSERT_FALSE(arch.empty());
        ASSERT_TRUE(fs::is_regular_file(deb())) << "no " << deb() << " after:\n" << cpack->out;
    }
    static fs::path deb() { return folder->path() / ("voltina_3.10_" + arch + ".deb"); }
    static std::string dpkgDeb(const std::string& option, const std::string& after = "") {
        return runIn(folder->path(), "dpkg-deb " + option + " " + quote(deb().string()) + " " + after).out;
    }
    // Where a file installed as `relative` (to the prefix) sits in the package.
    static std::string packaged(const std::string& relative) {
        return "." + (fs::path(VOLTINA_INSTALL_PREFIX) / relative).lexically_normal().string();
    }
    // The line of `dpkg-deb -c` that lists the file, or an empty text.
    static std::string listingLine(const std::string& listing, const std::string& relative) {
        const std::string ending = " " + packaged(relative) + "\n";
        const std::size_t at = listing.find(ending);
        if (at == std::string::npos) return {};
        const std::size_t newline = listing.rfind('\n', at);
        const std::size_t begin = newline == std::string::npos ? 0 : newline + 1;
        return listing.substr(begin, at + ending.size() - 1 - begin);
    }

    static TempFolder* folder;
    static std::string arch;
    static Outcome* cpack;
};

TempFolder* DebianPackage::folder = nullptr;
std::string DebianPackage::arch;
Outcome* DebianPackage::cpack = nullptr;

TEST_F(DebianPackage, HoldsTheProgramsAndEverythingTheDesktopNeeds) {
    const std::string listing = dpkgDeb("-c");
    const std::string share = VOLTINA_DATADIR;
    const std::string man = VOLTINA_MANDIR;
    for (const std::string program : {"voltina", "voltina-render"}) {
        const std::string line = listingLine(listing, std::string(VOLTINA_BINDIR) + "/" + program);
        EXPECT_EQ(line.substr(0, 10), "-rwxr-xr-x") << program << " missing or not executable in:\n"
                                                    << listing;
    }
    for (const std::string& file :
         {share + "/applications/voltina.desktop", share + "/icons/hicolor/scalable/apps/voltina.svg",
          man + "/man1/voltina.1.gz", man + "/man1/voltina-render.1.gz", share + "/voltina/VOLTINA.TXT",
          share + "/mime/packages/voltina.xml", share + "/metainfo/io.github.voltina.Voltina.metainfo.xml",
          share + "/doc/voltina/copyright", share + "/doc/voltina/changelog.gz",
          std::string("lib/lv2/voltina.lv2/manifest.ttl"), std::string("lib/lv2/voltina.lv2/voltina.ttl"),
          std::string("lib/lv2/voltina.lv2/voltina.so"), std::string("lib/lv2/voltina.lv2/voltina_ui.so")}) {
        EXPECT_EQ(listingLine(listing, file).substr(0, 10), "-rw-r--r--") << file << " not in:\n" << listing;
    }
}

TEST_F(DebianPackage, ControlFieldsNameTheRuntimeItNeeds) {
    auto field = [](const std::string& name) {
        std::string value = dpkgDeb("-f", name);
        while (!value.empty() && value.back() == '\n') value.pop_back();
        return value;
    };
    EXPECT_EQ(field("Package"), "voltina");
    EXPECT_EQ(field("Version"), "3.10");
    EXPECT_EQ(field("Architecture"), arch);
    EXPECT_EQ(field("Maintainer"), "Voltina developers <dev@voltina.invalid>");
    const std::string depends = field("Depends");
    // Loaded by Qt at run time, so no library scan can find them.
    EXPECT_TRUE(contains(depends, "libqt6svg6")) << depends;
    EXPECT_TRUE(contains(depends, "qt6-qpa-plugins")) << depends;
    // Found by scanning the programs' libraries.
    EXPECT_TRUE(contains(depends, "libqt6widgets6 (>=")) << depends;
    EXPECT_TRUE(contains(depends, "libc6 (>=")) << depends;
}

TEST_F(DebianPackage, PackagedRendererRuns) {
    const fs::path tree = folder->path() / "tree";
    ASSERT_EQ(
        runIn(folder->path(), "dpkg-deb -x " + quote(deb().string()) + " " + quote(tree.string())).exitCode,
        0);
    const fs::path program = tree / packaged(std::string(VOLTINA_BINDIR) + "/voltina-render");
    const Outcome r = runIn(folder->path(), quote(program.string()) + " --version");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, kVersionLine);
}

}  // namespace
