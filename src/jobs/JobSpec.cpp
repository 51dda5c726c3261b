#include "jobs/JobSpec.h"

#include "splitting/PartPlan.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>

namespace zarvex {

namespace {

std::string FileNameOf(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

const char* MethodName(TJobMethod m) {
    return m == TJobMethod::Copy ? "copy" : m == TJobMethod::Exact ? "exact" : "recompress";
}

std::string CodecText(const std::optional<TJobCodec>& c) {
    if (!c)
        return "none";
    return c->Encoder + " " + std::to_string(c->BitRate) + " " + std::to_string(c->Quality) + " " +
           std::to_string(c->KeyFrameInterval);
}

std::optional<TJobCodec> CodecFrom(std::istringstream& in) {
    TJobCodec c;
    in >> c.Encoder;
    if (c.Encoder == "none")
        return std::nullopt;
    in >> c.BitRate >> c.Quality >> c.KeyFrameInterval;
    return c;
}

std::string Rest(std::istringstream& in) {
    std::string rest;
    std::getline(in >> std::ws, rest);
    return rest;
}

} // namespace

std::vector<std::string> JobInputs(const TJobSpec& spec) {
    std::vector<std::string> inputs;
    for (const TCutListEntry& e : spec.Pieces)
        if (std::find(inputs.begin(), inputs.end(), e.Source) == inputs.end())
            inputs.push_back(e.Source);
    return inputs;
}

std::vector<std::string> JobOutputs(const TJobSpec& spec) {
    std::vector<std::string> outputs;
    if (spec.Kind == TJobKind::Split) {
        // A split may write one part more than asked, when its last cut falls early.
        for (int i = 1; i <= spec.Parts + 1; ++i)
            outputs.push_back(PartFileName(spec.Output, spec.Prefix, i, spec.Parts));
    } else if (spec.Separate) {
        const int count = int(spec.Pieces.size());
        for (int i = 1; i <= count; ++i)
            outputs.push_back(RangeFileName(spec.Output, i, count));
    } else {
        outputs.push_back(spec.Output);
    }
    return outputs;
}

std::string DescribeJob(const TJobSpec& spec) {
    const std::string source = spec.Pieces.empty() ? "" : FileNameOf(spec.Pieces.front().Source);
    if (spec.Kind == TJobKind::Split)
        return "Split of " + source + " into " + std::to_string(spec.Parts) + " parts";
    const std::string how = spec.Method == TJobMethod::Copy    ? "Copy"
                            : spec.Method == TJobMethod::Exact ? "Frame-exact copy"
                                                               : "Recompression";
    std::string what;
    if (spec.Pieces.size() == 1) {
        char range[64];
        std::snprintf(range, sizeof range, "frames %d to %d", spec.Pieces.front().Frames.First,
                      spec.Pieces.front().Frames.Last);
        what = range;
    } else {
        what = std::to_string(spec.Pieces.size()) + " segments";
    }
    return how + " of " + what + " of " + source + (spec.Separate ? ", one file each" : "");
}

std::string JobToText(const TJobSpec& spec) {
    std::ostringstream out;
    out.precision(17);
    out << "kind = " << (spec.Kind == TJobKind::Split ? "split" : "pieces") << "\n";
    out << "method = " << MethodName(spec.Method) << "\n";
    for (const TCutListEntry& e : spec.Pieces)
        out << "piece = " << e.Frames.First << " " << e.Frames.Last << " " << e.Start << " "
            << e.End << " " << e.Source << "\n";
    out << "output = " << spec.Output << "\n";
    out << "separate = " << (spec.Separate ? 1 : 0) << "\n";
    out << "video = " << CodecText(spec.Video) << "\n";
    out << "audio = " << CodecText(spec.Audio) << "\n";
    out << "parts = " << spec.Parts << "\n";
    out << "prefix = " << spec.Prefix << "\n";
    return out.str();
}

std::optional<TJobSpec> JobFromText(const std::string& text) {
    TJobSpec spec;
    std::istringstream lines(text);
    bool kind = false, output = false;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream in(line);
        std::string key, equals;
        if (!(in >> key >> equals) || equals != "=")
            continue;
        if (key == "kind") {
            const std::string v = Rest(in);
            if (v != "split" && v != "pieces")
                return std::nullopt;
            spec.Kind = v == "split" ? TJobKind::Split : TJobKind::Pieces;
            kind = true;
        } else if (key == "method") {
            const std::string v = Rest(in);
            spec.Method = v == "exact"        ? TJobMethod::Exact
                          : v == "recompress" ? TJobMethod::Recompress
                                              : TJobMethod::Copy;
        } else if (key == "piece") {
            TCutListEntry e;
            if (!(in >> e.Frames.First >> e.Frames.Last >> e.Start >> e.End))
                return std::nullopt;
            e.Source = Rest(in);
            if (e.Source.empty() || e.Frames.Last < e.Frames.First)
                return std::nullopt;
            spec.Pieces.push_back(e);
        } else if (key == "output") {
            spec.Output = Rest(in);
            output = !spec.Output.empty();
        } else if (key == "separate") {
            int v = 0;
            in >> v;
            spec.Separate = v != 0;
        } else if (key == "video") {
            spec.Video = CodecFrom(in);
        } else if (key == "audio") {
            spec.Audio = CodecFrom(in);
        } else if (key == "parts") {
            in >> spec.Parts;
        } else if (key == "prefix") {
            spec.Prefix = Rest(in);
        }
    }
    if (!kind || !output || spec.Pieces.empty() || (spec.Kind == TJobKind::Split && spec.Parts < 1))
        return std::nullopt;
    return spec;
}

} // namespace zarvex
