#pragma once
// Helpers for the tests of the files the program writes and reads: a private current directory, whole
// files as bytes, and the outside judges (sndfile-info, sox).

#include <QDir>
#include <QTemporaryDir>
#include <cstdint>
#include <string>
#include <vector>

namespace voltina::test {

// A fresh temporary directory made current for the test's life; the previous one comes back after.
class InTemporaryDirectory {
  public:
    InTemporaryDirectory();
    ~InTemporaryDirectory();
    std::string path() const { return dir_.path().toStdString(); }
    std::string file(const std::string& name) const { return path() + "/" + name; }

  private:
    QTemporaryDir dir_;
    QString previous_;
};

bool readWhole(const std::string& path, std::vector<std::uint8_t>& bytes);
bool writeWhole(const std::string& path, const std::string& text);
std::uint32_t le32(const std::vector<std::uint8_t>& bytes, std::size_t at);
std::uint16_t le16(const std::vector<std::uint8_t>& bytes, std::size_t at);

// Runs a program with arguments; its exit code (-1 when it did not run) and what it printed.
int runTool(const QString& program, const QStringList& arguments, std::string* output = nullptr);

}  // namespace voltina::test
