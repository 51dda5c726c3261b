#include "export/FrameExport.h"

#include "export/DSErrors.h"
#include "export/JpegFile.h"
#include "media/StageProgress.h"
#include "support/Errors.h"
#include "support/FileSafety.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace zarvex {

using namespace media;

namespace {

constexpr double UnitsPerSecond = 1e7; // media times count 100-ns units

bool FileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

} // namespace

std::string PadNumber(int64_t number, int64_t count) {
    std::string text = std::to_string(number);
    const size_t digits = std::to_string(count).size();
    if (text.size() < digits)
        text.insert(0, digits - text.size(), '0');
    return text;
}

std::string TFrameExporter::MissingDestination(const std::string& folder,
                                               const std::string& fileName) {
    if (folder.empty())
        return "The destination folder is not selected.";
    if (fileName.empty())
        return "The destination file name is not selected.";
    return "";
}

bool TFrameExporter::CreateFolder(const std::string& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return std::filesystem::is_directory(folder, ec);
}

std::string TFrameExporter::OverwriteQuestion(const std::string& path) {
    return "The file \"" + path + "\" already exists. Do you want to overwrite it?";
}

std::string TFrameExporter::TargetPath() const {
    const bool slash = !Folder.empty() && Folder.back() == '/';
    return Folder + (slash ? "" : "/") + FileName + Extension();
}

std::string TFrameExporter::NumberedPath(int64_t k) const {
    const bool slash = !Folder.empty() && Folder.back() == '/';
    return Folder + (slash ? "" : "/") + FileName + "_" + PadNumber(k + 1, Count) + Extension();
}

bool TFrameExporter::FindVideoStream(TMediaDet& detector, TStreamMediaType& type) {
    int count = 0;
    CheckDSResult(detector.GetOutputStreams(count));
    for (int i = 0; i < count; ++i) {
        TStreamMediaType t;
        if (detector.SetCurrentStream(i) == 0 && detector.GetStreamMediaType(t) == 0 &&
            t.MajorType == TMajorType::Video) {
            type = t;
            return true;
        }
    }
    return false;
}

void TFrameExporter::Open(TMediaDet& detector) {
    WrittenFiles.clear();
    Cancel = false;
    StoppedByAnswer = false;
    CheckDSResult(detector.SetFilename(SourceFileName));
    TStreamMediaType type;
    if (!FindVideoStream(detector, type))
        throw EZarvexError("Video stream is not found");
    if (!type.VideoInfo)
        throw EZarvexError("Unsupported video format type");
    Width = type.Width;
    Height = type.Height;
    Bitmap.SetSize(Width, Height);
}

// Returns the result of the size query; a failure of the query with the buffer raises.
int TFrameExporter::CaptureFrame(TMediaDet& detector, double seconds) {
    int64_t size = 0;
    if (const int ret = detector.GetBitmapBits(seconds, size, nullptr, Width, Height); ret != 0)
        return ret;
    Buffer.resize(size_t(size));
    CheckDSResult(detector.GetBitmapBits(seconds, size, Buffer.data(), Width, Height));
    int32_t w = 0, h = 0;
    if (size < BitmapInfoHeaderSize || !ReadBitmapInfoHeader(Buffer.data(), w, h) || w != Width ||
        h != Height || size - BitmapInfoHeaderSize < Bitmap.ImageSize())
        throw EZarvexError("Unsupported video format type");
    std::copy(Buffer.begin() + BitmapInfoHeaderSize,
              Buffer.begin() + BitmapInfoHeaderSize + Bitmap.ImageSize(), Bitmap.Bits.begin());
    return 0;
}

void TFrameExporter::WriteFrame(const std::string& path) {
    RefuseSourceAsOutput(path, SourceFileName);
    if (ImageType == TImageType::Bmp)
        SaveBitmapFile(Bitmap, path);
    else
        SaveJpegFile(Bitmap, path, Quality, Progressive);
    WrittenFiles.push_back(path);
}

void TFrameExporter::Execute() {
    if (Count < 1)
        throw EZarvexError("The frame count must be at least 1");
    if (Count == 1)
        SaveSingleFrame();
    else
        SaveFrameRange();
}

// The frame on screen at Position, on the stream's own clock: the one whose interval holds it,
// and the last one at the end of the stream, where the viewer still shows it.
int64_t TFrameExporter::FirstFrame(TMediaDet& detector, TFrameClock& clock) const {
    CheckDSResult(detector.GetFrameClock(clock));
    const int64_t first = clock.FrameAt(Position);
    double length = 0;
    if (detector.GetStreamLength(length) != 0 || !(length > 0))
        return first;
    const int64_t end = std::llround(length * UnitsPerSecond);
    return std::min(first, clock.FrameAt(end - 1));
}

void TFrameExporter::SaveSingleFrame() {
    const std::string path = TargetPath();
    RefuseSourceAsOutput(path, SourceFileName);
    TMediaDet detector;
    Open(detector);
    TFrameClock clock(0, 0);
    const int64_t frame = FirstFrame(detector, clock);
    CheckDSResult(CaptureFrame(detector, double(clock.FrameStart(frame)) / UnitsPerSecond));
    WriteFrame(path);
}

void TFrameExporter::SaveFrameRange() {
    if (!(FrameRate > 0) || !std::isfinite(FrameRate))
        throw EZarvexError("The frame rate of the video is unknown");
    TMediaDet detector;
    Open(detector);
    // Frame times from frame numbers rather than a rounded step added up: at 30 or 23.976 fps a
    // step rounded down falls short of a frame's start after two frames and repeats a frame.
    TFrameClock clock(0, 0);
    const int64_t first = FirstFrame(detector, clock);
    detector.OnPicture = [this] {
        if (!OnWorking)
            return;
        OnWorking(Cancel);
        if (Cancel)
            throw TJobCancelled();
    };
    try {
        SaveFrames(detector, clock, first);
    } catch (const TJobCancelled&) {
    }
}

void TFrameExporter::SaveFrames(TMediaDet& detector, const TFrameClock& clock, int64_t first) {
    for (int64_t k = 0; k < Count; ++k) {
        // A failing size query means the stream has ended: the run ends with what it has.
        const int64_t start = clock.FrameStart(first + k);
        if (CaptureFrame(detector, double(start) / UnitsPerSecond) != 0)
            break;
        const std::string path = NumberedPath(k);
        RefuseSourceAsOutput(path, SourceFileName);
        if (FileExists(path)) {
            const TOverwriteAnswer answer = OnConfirmOverwrite
                                                ? OnConfirmOverwrite(OverwriteQuestion(path))
                                                : TOverwriteAnswer::No;
            if (answer == TOverwriteAnswer::No)
                continue;
            if (answer == TOverwriteAnswer::Cancel) {
                StoppedByAnswer = true;
                break;
            }
        }
        WriteFrame(path);
        if (OnProgress) {
            OnProgress(Cancel, double(k) * 100.0 / double(Count - 1));
            if (Cancel)
                break;
        }
    }
}

} // namespace zarvex
