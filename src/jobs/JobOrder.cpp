#include "jobs/JobOrder.h"

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

std::vector<std::string> JobInputs(const TJobOrder& order) {
    std::vector<std::string> inputs;
    for (const TCutListEntry& e : order.Pieces)
        if (std::find(inputs.begin(), inputs.end(), e.Source) == inputs.end())
            inputs.push_back(e.Source);
    return inputs;
}

std::vector<std::string> JobOutputs(const TJobOrder& order) {
    std::vector<std::string> outputs;
    if (order.Kind == TJobKind::Split) {
        // A split may write one part more than asked, when its last cut falls early.
        for (int i = 1; i <= order.Parts + 1; ++i)
            outputs.push_back(PartFileName(order.Output, order.Prefix, i, order.Parts));
    } else if (order.Separate) {
        const int count = int(order.Pieces.size());
        for (int i = 1; i <= count; ++i)
            outputs.push_back(RangeFileName(order.Output, i, count));
    } else {
        outputs.push_back(order.Output);
    }
    return outputs;
}

std::string DescribeJob(const TJobOrder& order) {
    const std::string source = order.Pieces.empty() ? "" : FileNameOf(order.Pieces.front().Source);
    if (order.Kind == TJobKind::Split)
        return "Split of " + source + " into " + std::to_string(order.Parts) + " parts";
    const std::string how = order.Method == TJobMethod::Copy    ? "Copy"
                            : order.Method == TJobMethod::Exact ? "Frame-exact copy"
                                                                : "Recompression";
    std::string what;
    if (order.Pieces.size() == 1) {
        char range[64];
        std::snprintf(range, sizeof range, "frames %d to %d", order.Pieces.front().Frames.First,
                      order.Pieces.front().Frames.Last);
        what = range;
    } else {
        what = std::to_string(order.Pieces.size()) + " segments";
    }
    return how + " of " + what + " of " + source + (order.Separate ? ", one file each" : "");
}

std::string JobToText(const TJobOrder& order) {
    std::ostringstream out;
    out.precision(17);
    out << "kind = " << (order.Kind == TJobKind::Split ? "split" : "pieces") << "\n";
    out << "method = " << MethodName(order.Method) << "\n";
    for (const TCutListEntry& e : order.Pieces)
        out << "piece = " << e.Frames.First << " " << e.Frames.Last << " " << e.Start << " "
            << e.End << " " << e.Source << "\n";
    out << "output = " << order.Output << "\n";
    out << "separate = " << (order.Separate ? 1 : 0) << "\n";
    out << "video = " << CodecText(order.Video) << "\n";
    out << "audio = " << CodecText(order.Audio) << "\n";
    out << "parts = " << order.Parts << "\n";
    out << "prefix = " << order.Prefix << "\n";
    return out.str();
}

std::optional<TJobOrder> JobFromText(const std::string& text) {
    TJobOrder order;
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
            order.Kind = v == "split" ? TJobKind::Split : TJobKind::Pieces;
            kind = true;
        } else if (key == "method") {
            const std::string v = Rest(in);
            order.Method = v == "exact"        ? TJobMethod::Exact
                           : v == "recompress" ? TJobMethod::Recompress
                                               : TJobMethod::Copy;
        } else if (key == "piece") {
            TCutListEntry e;
            if (!(in >> e.Frames.First >> e.Frames.Last >> e.Start >> e.End))
                return std::nullopt;
            e.Source = Rest(in);
            if (e.Source.empty() || e.Frames.Last < e.Frames.First)
                return std::nullopt;
            order.Pieces.push_back(e);
        } else if (key == "output") {
            order.Output = Rest(in);
            output = !order.Output.empty();
        } else if (key == "separate") {
            int v = 0;
            in >> v;
            order.Separate = v != 0;
        } else if (key == "video") {
            order.Video = CodecFrom(in);
        } else if (key == "audio") {
            order.Audio = CodecFrom(in);
        } else if (key == "parts") {
            in >> order.Parts;
        } else if (key == "prefix") {
            order.Prefix = Rest(in);
        }
    }
    if (!kind || !output || order.Pieces.empty() ||
        (order.Kind == TJobKind::Split && order.Parts < 1))
        return std::nullopt;
    return order;
}

} // namespace zarvex
