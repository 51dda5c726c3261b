// The reader and the writer of each format of ForeignCutList.h, and the text helpers they share.
#pragma once

#include "splitting/ForeignCutList.h"

#include <functional>
#include <optional>
#include <string>

namespace zarvex::lists {

// Seconds up to about three years, frame numbers up to what an AVI counts.
inline constexpr double MaxSeconds = 1e8;
inline constexpr int64_t MaxFrame = INT32_MAX;

// Each line without its line ending; a line longer than MaxListLine is refused instead.
void ForEachLine(const std::string& text, TForeignList& list,
                 const std::function<void(int number, const std::string& line)>& read);
void Refuse(TForeignList& list, int number, const std::string& line);
void AddRange(TForeignList& list, const TListRange& range);
std::string Trim(const std::string& text);

// "12.5" (also "12,5") within MaxSeconds.
std::optional<double> ReadSeconds(const std::string& text);
// "[h:]mm:ss[.fff]" or plain seconds.
std::optional<double> ReadClock(const std::string& text);
// A whole number within MaxFrame.
std::optional<int64_t> ReadFrame(const std::string& text);
// Seconds with six decimals, in the C locale.
std::string SecondsText(double seconds);

void ReadZarvex(const std::string& text, TForeignList& list);
void ReadCutlistAt(const std::string& text, TForeignList& list);
void ReadComskip(const std::string& text, TForeignList& list);
void ReadEdl(const std::string& text, TForeignList& list, bool kodi);
void ReadVdr(const std::string& text, TForeignList& list);
void ReadCsv(const std::string& text, TForeignList& list);
void ReadLlc(const std::string& text, TForeignList& list);
void ReadVcf(const std::string& text, TForeignList& list);

std::string WriteZarvex(const TForeignList& list);
std::string WriteCutlistAt(const TForeignList& list);
std::string WriteComskip(const TForeignList& list);
std::string WriteEdl(const TForeignList& list, bool kodi);
std::string WriteVdr(const TForeignList& list);
std::string WriteCsv(const TForeignList& list);
std::string WriteLlc(const TForeignList& list);
std::string WriteVcf(const TForeignList& list);

} // namespace zarvex::lists
