#pragma once
// Every file one render reads beyond its command line: the configurations and samples that an events file
// or a performance names. The output may replace none of them. Each is read once: a sample is loaded once
// and its bytes serve every event that brings it, as the panel's history keeps one sample for all the
// steps that bring it back. What the samples hold together is bounded, so that a few kilobytes of events
// cannot ask for more memory than the machine has before the first frame is rendered. Plain C++.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "config/configuration.h"
#include "engine/sample_record.h"
#include "render/render_output.h"

namespace voltina {

// The sound bytes the samples of one render may hold together: four of the largest samples.
constexpr std::uint64_t kMaxRenderSampleBytes = std::uint64_t{1} << 30;

class RenderInputs {
  public:
    explicit RenderInputs(std::uint64_t maxSampleBytes = kMaxRenderSampleBytes)
        : maxSampleBytes_(maxSampleBytes) {}

    // A file the render reads, as "the sample" with its path.
    void add(const std::string& what, const std::string& path);
    const std::vector<RenderOutput::NamedInput>& files() const { return files_; }

    // Which sample an event gets. Shared: the one record every such event of the file plays (a load
    // installs its sample afresh, so which record it is cannot be heard). Own: a record no other event
    // has, made from the bytes already read (a sample that Undo brings back is told from the other loads
    // of its file: the player goes on where it was only for the very sample that played).
    enum class Holder { Shared, Own };

    // The sample `path` at `rateParam`, checked against `checksum` when it is not empty. Empty on
    // success; otherwise what is wrong, naming the file, as loadCheckedSample says it, or the bound.
    std::string sample(const std::string& path, int rateParam, const std::string& checksum, Holder holder,
                       std::shared_ptr<SampleRecord>& out);
    // The same checks without handing a sample out: the file must still be there and sound as said.
    std::string check(const std::string& path, int rateParam, const std::string& checksum);

    // The configuration file `path`, read once. False with readConfigurationFile's sentence in `error`.
    bool configuration(const std::string& path, Configuration& out, std::string& error);

  private:
    struct Loaded {
        std::shared_ptr<SampleRecord> record;
        std::string checksum;
        bool handedOut = false;
        std::shared_ptr<SampleRecord> shared;
    };
    std::string load(const std::string& path, int rateParam, const std::string& checksum, Loaded*& loaded);
    std::string hold(const std::string& path, std::uint64_t bytes);
    std::string handOut(const std::string& path, Loaded& loaded, std::shared_ptr<SampleRecord>& out);

    std::uint64_t maxSampleBytes_;
    std::uint64_t heldBytes_ = 0;
    std::vector<RenderOutput::NamedInput> files_;
    // By device, inode and rate: a file under two names (a link) is one sample.
    std::map<std::pair<std::pair<std::uint64_t, std::uint64_t>, int>, Loaded> samples_;
    std::map<std::string, Configuration> configurations_;
};

}  // namespace voltina
