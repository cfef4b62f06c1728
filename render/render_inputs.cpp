#include "render/render_inputs.h"

#include <sys/stat.h>

#include <algorithm>

#include "render/sample_check.h"

namespace voltina {

void RenderInputs::add(const std::string& what, const std::string& path) {
    const bool known = std::any_of(files_.begin(), files_.end(),
                                   [&](const RenderOutput::NamedInput& f) { return f.path == path; });
    if (!known && !path.empty()) files_.push_back({what, path});
}

std::string RenderInputs::hold(const std::string& path, std::uint64_t bytes) {
    if (bytes > maxSampleBytes_ - std::min(heldBytes_, maxSampleBytes_)) {
        const std::string mb = std::to_string(maxSampleBytes_ >> 20) + " MB";
        return "sample " + path + ": the samples of one render hold at most " + mb +
               " together, and this one would make them more";
    }
    heldBytes_ += bytes;
    return {};
}

std::string RenderInputs::load(const std::string& path, int rateParam, const std::string& checksum,
                               Loaded*& loaded) {
    add("the sample", path);
    struct stat st {};
    std::shared_ptr<SampleRecord> record;
    // A name that leads nowhere: the loader says why in its own words.
    if (::stat(path.c_str(), &st) != 0) return loadCheckedSample(path, rateParam, checksum, record);
    const auto key = std::make_pair(
        std::make_pair(static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)),
        rateParam);
    auto found = samples_.find(key);
    if (found == samples_.end()) {
        std::string problem = loadCheckedSample(path, rateParam, {}, record);
        if (problem.empty()) problem = hold(path, record->data.size());
        if (!problem.empty()) return problem;
        found = samples_.emplace(key, Loaded{record, sampleChecksum(*record), false, nullptr}).first;
    }
    loaded = &found->second;
    if (!checksum.empty() && loaded->checksum != checksum) return changedSampleMessage(path);
    return {};
}

std::string RenderInputs::handOut(const std::string& path, Loaded& loaded,
                                  std::shared_ptr<SampleRecord>& out) {
    if (!loaded.handedOut) {
        loaded.handedOut = true;
        out = loaded.record;
        return {};
    }
    std::string problem = hold(path, loaded.record->data.size());
    if (problem.empty()) out = std::make_shared<SampleRecord>(*loaded.record);
    return problem;
}

std::string RenderInputs::sample(const std::string& path, int rateParam, const std::string& checksum,
                                 Holder holder, std::shared_ptr<SampleRecord>& out) {
    Loaded* loaded = nullptr;
    std::string problem = load(path, rateParam, checksum, loaded);
    if (!problem.empty()) return problem;
    if (holder == Holder::Own) return handOut(path, *loaded, out);
    if (!loaded->shared) problem = handOut(path, *loaded, loaded->shared);
    out = loaded->shared;
    return problem;
}

std::string RenderInputs::check(const std::string& path, int rateParam, const std::string& checksum) {
    Loaded* loaded = nullptr;
    return load(path, rateParam, checksum, loaded);
}

bool RenderInputs::configuration(const std::string& path, Configuration& out, std::string& error) {
    add("the configuration", path);
    const auto known = configurations_.find(path);
    if (known != configurations_.end()) {
        out = known->second;
        return true;
    }
    if (!readConfigurationFile(path, out, error)) return false;
    configurations_.emplace(path, out);
    return true;
}

}  // namespace voltina
