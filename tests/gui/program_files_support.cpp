#include "tests/gui/program_files_support.h"

#include <QFile>
#include <QProcess>

namespace voltina::test {

InTemporaryDirectory::InTemporaryDirectory() : previous_(QDir::currentPath()) {
    QDir::setCurrent(dir_.path());
}

InTemporaryDirectory::~InTemporaryDirectory() {
    QDir::setCurrent(previous_);
}

bool readWhole(const std::string& path, std::vector<std::uint8_t>& bytes) {
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray all = f.readAll();
    bytes.assign(all.begin(), all.end());
    return true;
}

bool writeWhole(const std::string& path, const std::string& text) {
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return f.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size());
}

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint32_t>(b.at(at)) | static_cast<std::uint32_t>(b.at(at + 1)) << 8 |
           static_cast<std::uint32_t>(b.at(at + 2)) << 16 | static_cast<std::uint32_t>(b.at(at + 3)) << 24;
}

std::uint16_t le16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8);
}

int runTool(const QString& program, const QStringList& arguments, std::string* output) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, arguments);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit) return -1;
    if (output) *output = p.readAll().toStdString();
    return p.exitCode();
}

}  // namespace voltina::test
