#include "jobs/JobRun.h"

#include "avi_input/AVIRead.h"
#include "export/DSSplit.h"
#include "media/ExactCut.h"
#include "media/RangeCut.h"
#include "splitting/ZarvexCls.h"
#include "support/Errors.h"

#include <filesystem>

namespace zarvex {

namespace {

class TJobRun {
public:
    TJobRun(const TJobOrder& order, TJobControl& control, const TJobReaders& readers, bool ask)
        : Order(order), Control(control), Readers(readers), AskFirst(ask) {}

    std::vector<std::string> Run() {
        if (Order.Pieces.empty())
            throw EZarvexError("The job holds no segments");
        if (Order.Kind == TJobKind::Split)
            Split();
        else if (Order.Method == TJobMethod::Recompress)
            Recompress();
        else if (Order.Pieces.size() == 1 && !Order.Separate)
            CopyOne();
        else
            CopyList();
        return Warnings;
    }

private:
    TAVIFileReader& ReaderOf(const std::string& source) {
        if (const auto given = Readers.find(source); given != Readers.end() && given->second)
            return *given->second;
        auto& opened = Opened[source];
        if (!opened) {
            opened = std::make_shared<TAVIFileReader>();
            opened->IndexRebuild = TIndexRebuild::Ask;
            opened->OnRebuildQuestion = [](const std::string&) { return true; };
            opened->OnScanProgress = [this](double, bool& cancel) { cancel = Control.Cancelled(); };
            opened->Open(source);
        }
        return *opened;
    }

    bool Confirm(const std::string& question) { return !AskFirst || Control.Ask(question); }

    void Progress(bool& cancel, double percent) {
        Control.SetProgress(percent);
        cancel = Control.Cancelled();
    }

    void CopyOne() {
        const TCutListEntry& piece = Order.Pieces.front();
        TZarvex engine(ReaderOf(piece.Source));
        engine.FileName = Order.Output;
        engine.OnProgress = [this](TZarvex&, bool& cancel, double p) { Progress(cancel, p); };
        if (Order.Method == TJobMethod::Copy) {
            engine.CopySegment(piece.Frames.First, piece.Frames.Last);
            return;
        }
        const std::string message =
            media::CopySegmentExact(engine, piece.Frames.First, piece.Frames.Last);
        if (!message.empty())
            Warnings.push_back(message);
    }

    void CopyList() {
        TRangeSave save;
        for (const TCutListEntry& e : Order.Pieces)
            save.Pieces.push_back({&ReaderOf(e.Source), e.Frames, nullptr});
        save.Output = Order.Output;
        save.Mode = Order.Method == TJobMethod::Exact ? TCutMode::Exact : TCutMode::KeyFrame;
        save.Separate = Order.Separate;
        save.OnProgress = [this](bool& cancel, double p) { Progress(cancel, p); };
        save.OnConfirmOverwrite = [this](const std::string& q) { return Confirm(q); };
        bool cancelled = false;
        media::SaveRanges(save, Warnings, cancelled);
    }

    // One render for the whole list, or one per segment.
    void Recompress() {
        const int count = int(Order.Pieces.size());
        const int renders = Order.Separate ? count : 1;
        const std::vector<std::string> outputs = JobOutputs(Order);
        std::error_code unresolved; // such a path fails when it is created, with its message
        for (const std::string& output : outputs)
            if (std::filesystem::exists(output, unresolved) &&
                !Confirm("The \"" + output + "\" file already exists. Overwrite?"))
                return;
        for (int i = 0; i < renders && !Control.Cancelled(); ++i) {
            TDSVideoSplitter splitter;
            splitter.SourceFileName = Order.Pieces.front().Source;
            splitter.OutputFileName = outputs[size_t(i)];
            for (int k = Order.Separate ? i : 0; k < (Order.Separate ? i + 1 : count); ++k) {
                const TCutListEntry& e = Order.Pieces[size_t(k)];
                splitter.Parts.push_back({e.Source, e.Start, e.End});
            }
            if (splitter.Parts.size() == 1) {
                splitter.StartTime = splitter.Parts.front().StartTime;
                splitter.StopTime = splitter.Parts.front().StopTime;
                splitter.Parts.clear();
            }
            splitter.VideoCompressor = CompressorOf(Order.Video, false);
            splitter.AudioCompressor = CompressorOf(Order.Audio, true);
            splitter.OnProgress = [this, i, renders](TDSVideoSplitter&, bool& cancel, double p) {
                Progress(cancel, (i * 100.0 + p) / renders);
            };
            splitter.Save();
            for (const std::string& warning : splitter.Warnings())
                Warnings.push_back(warning);
        }
    }

    void Split() {
        TAVIFileReader& reader = ReaderOf(Order.Pieces.front().Source);
        if (!reader.VideoStream())
            throw EZarvexError("The video stream is not found in the selected file.");
        TZarvex engine(reader);
        engine.OnProgress = [this](TZarvex&, bool& cancel, double p) { Progress(cancel, p); };
        engine.OnConfirmOverwrite = [this](TZarvex&, const std::string& q) {
            return !AskFirst ||
                   Control.Choose(q, TJobControl::AnswerYes | TJobControl::AnswerCancel) ==
                       TJobControl::AnswerYes;
        };
        engine.SplitIntoParts(Order.Parts, Order.Output, Order.Prefix);
    }

    const TJobOrder& Order;
    TJobControl& Control;
    const TJobReaders& Readers;
    bool AskFirst;
    TJobReaders Opened;
    std::vector<std::string> Warnings;
};

} // namespace

std::vector<std::string> RunJobOrder(const TJobOrder& order, TJobControl& control,
                                     const TJobReaders& readers, bool ask) {
    return TJobRun(order, control, readers, ask).Run();
}

std::optional<TJobCodec> JobCodecOf(const std::optional<media::TCompressor>& compressor) {
    if (!compressor)
        return std::nullopt;
    return TJobCodec{compressor->EncoderName, compressor->Options.BitRate,
                     compressor->Options.Quality, compressor->Options.KeyFrameInterval};
}

std::optional<media::TCompressor> CompressorOf(const std::optional<TJobCodec>& codec, bool audio) {
    if (!codec)
        return std::nullopt;
    media::TCompressor c = media::FindCompressor(audio, codec->Encoder);
    c.Options.BitRate = codec->BitRate;
    c.Options.Quality = codec->Quality;
    c.Options.KeyFrameInterval = codec->KeyFrameInterval;
    return c;
}

} // namespace zarvex
