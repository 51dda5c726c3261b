// Saving the frame at a position, or a run of frames from there, as BMP or JPEG files.
#pragma once

#include "export/BitmapFile.h"
#include "media/MediaDet.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zarvex {

enum class TImageType { Jpeg, Bmp };
enum class TOverwriteAnswer { Yes, No, Cancel };

// The decimal number with leading zeros to at least the digits of count: 3 of 12 is "03".
std::string PadNumber(int64_t number, int64_t count);

class TFrameExporter {
public:
    // Asked before an existing numbered file is replaced: Yes writes, No skips the frame, Cancel
    // ends the run. Without a handler existing files are kept (No).
    using TConfirmOverwriteEvent = std::function<TOverwriteAnswer(const std::string& question)>;
    // After each file of a run; set cancel to end the run.
    using TProgressEvent = std::function<void(bool& cancel, double percent)>;

    // Texts of the progress dialog the caller shows around a run.
    static constexpr const char* ProgressTitle = "Extracting...";
    static constexpr const char* ProgressText = "Frames extracting...";
    static constexpr const char* CreateFolderQuestion =
        "The destination folder does not exist. Create?";
    static constexpr const char* CreateFolderFailed = "Unable to create the destination folder.";

    std::string SourceFileName; // the open file
    int64_t Position = 0;       // 100-ns units
    double FrameRate = 0;       // frames per second; the run is timed by the stream's exact rate
    std::string Folder;
    std::string FileName; // without extension
    TImageType ImageType = TImageType::Jpeg;
    int Quality = 85;
    bool Progressive = true;
    int64_t Count = 1;
    TConfirmOverwriteEvent OnConfirmOverwrite;
    TProgressEvent OnProgress;
    // Within a run, for every picture decoded on the way to the next file (a seek to the first
    // decodes from the key frame before it): the caller's window stays alive, and cancel ends
    // the run at once.
    std::function<void(bool& cancel)> OnWorking;

    // The message for an empty destination field, "" when both are filled.
    static std::string MissingDestination(const std::string& folder, const std::string& fileName);
    // True when the folder exists now, creating it with its parents.
    static bool CreateFolder(const std::string& folder);
    static std::string OverwriteQuestion(const std::string& path);

    std::string Extension() const { return ImageType == TImageType::Jpeg ? ".jpg" : ".bmp"; }
    // Folder/name.ext: the file of a single frame.
    std::string TargetPath() const;
    // The file of frame k (from 0) of a run of Count.
    std::string NumberedPath(int64_t k) const;

    // Count 1: SaveSingleFrame (the caller has asked about an existing target), else
    // SaveFrameRange.
    void Execute();
    void SaveSingleFrame();
    void SaveFrameRange();

    bool Cancelled() const { return Cancel; }        // by the progress event
    bool Stopped() const { return StoppedByAnswer; } // by a Cancel answer
    const std::vector<std::string>& Written() const { return WrittenFiles; }

    // The first video stream and its media type; false when there is none.
    static bool FindVideoStream(media::TMediaDet& detector, media::TStreamMediaType& type);

private:
    void Open(media::TMediaDet& detector);
    int CaptureFrame(media::TMediaDet& detector, double seconds);
    // The run's files from frame first on.
    void SaveFrames(media::TMediaDet& detector, const TFrameClock& clock, int64_t first);
    int64_t FirstFrame(media::TMediaDet& detector, TFrameClock& clock) const;
    void WriteFrame(const std::string& path);

    int32_t Width = 0;
    int32_t Height = 0;
    TBitmap24 Bitmap; // the work bitmap, reused for every frame
    std::vector<uint8_t> Buffer;
    std::vector<std::string> WrittenFiles;
    bool Cancel = false;
    bool StoppedByAnswer = false;
};

} // namespace zarvex
